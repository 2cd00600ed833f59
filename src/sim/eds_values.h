#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One object of a simulated node's dictionary: its type and its current value, little-endian
// as SDO carries it.
struct ObjValue {
    uint16_t dataType = 0;
    bool writable = false;  // AccessType rw or wo
    std::vector<uint8_t> bytes;

    // Strings and domains take any length; everything else keeps the size of its type.
    bool VariableSize() const { return dataType == 0x09 || dataType == 0x0A || dataType == 0x0F; }
    uint64_t Number() const;
    void SetNumber(uint64_t value);
};

// The values of an EDS file's objects for one node: DefaultValue ("$NODEID+" added), sized by
// DataType. Only what a simulated node needs; names and the rest stay with the decoder.
class EdsValues {
  public:
    // Throws QuillonError 12 when the file cannot be read.
    static std::map<uint32_t, ObjValue> Load(const std::string& path, int nodeId);
    // The same from the text of a file.
    static std::map<uint32_t, ObjValue> Parse(const std::string& text, int nodeId);
};
