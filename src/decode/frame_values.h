#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One value a frame carries, as the decoder read it: an object of a PDO's mapping, or the
// whole value of an SDO transfer.
struct DecodedValue {
    enum class Form : uint8_t {
        kNone,      // no value: the entry's length does not fit its type or the frame
        kSigned,    // in number
        kUnsigned,  // in unsignedNumber
        kReal,      // in real
        kText,      // in text: a string's characters, or bytes as hex
    };

    uint16_t index = 0;
    uint8_t sub = 0;
    std::string name;       // the object's, from the dictionary
    const char* type = "";  // the data type's name ("UNSIGNED16"), empty when unknown
    bool quoted = false;    // text of a visible string, shown in quotes
    int firstBit = 0;       // where the value starts in the frame's data, from bit 0 of byte 0
    int bits = 0;
    Form form = Form::kNone;
    int64_t number = 0;
    uint64_t unsignedNumber = 0;
    double real = 0;
    std::string text;
};

// Where a PDO frame comes from: its direction seen from the node ('T' the node sends it, 'R' it
// receives it), the PDO's number (1..512) and the node.
struct PdoOrigin {
    char dir = 'T';
    int num = 0;
    int node = 0;
};

// What quillon-dump adds to a frame's JSON object beyond its description and lines; all empty
// for most frames. Cleared and filled again for frame after frame, it keeps its values' strings
// and their room.
class FrameValues {
  public:
    // A value more, to be filled in.
    DecodedValue& Add() {
        if (used == values.size()) values.emplace_back();
        return values[used++];
    }
    size_t Count() const { return used; }
    const DecodedValue& operator[](size_t i) const { return values[i]; }
    bool Empty() const { return !isPdo && used == 0 && time.empty() && syncCounter < 0; }
    void Clear() {
        isPdo = false;
        used = 0;
        time.clear();
        syncCounter = -1;
    }

    bool isPdo = false;
    PdoOrigin pdo;
    std::string time;      // a TIME frame's date and time, "2026-12-06T12:34:56.789"
    int syncCounter = -1;  // a SYNC frame's counter, -1 for none

  private:
    std::vector<DecodedValue> values;  // the first `used` are this frame's
    size_t used = 0;
};
