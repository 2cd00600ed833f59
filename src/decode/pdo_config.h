#pragma once

#include <array>
#include <cstdint>
#include <map>

class CANopenObjDict;

// The objects that configure a node's PDOs: communication parameters (sub 1 the COB-ID, sub 2
// the transmission type) and mapping parameters (sub 0 the number of entries, sub 1..64 each
// index << 16 | sub-index << 8 | bit length), PDO n + 1 at base + n.
constexpr uint16_t kRpdoCommunication = 0x1400;
constexpr uint16_t kRpdoMapping = 0x1600;
constexpr uint16_t kTpdoCommunication = 0x1800;
constexpr uint16_t kTpdoMapping = 0x1A00;
constexpr int kMaxPdos = 512;  // each way
constexpr int kMaxMappedEntries = 64;
constexpr uint32_t kCobIdInvalid = 1u << 31;
constexpr uint32_t kCobIdNoRtr = 1u << 30;
constexpr uint32_t kCobIdExtended = 1u << 29;
// Mapping entries of indexes 0x0001 to this are dummies: a gap of the entry's length.
constexpr uint16_t kLastDummyIndex = 0x0007;

// The object a mapping entry (index << 16 | sub-index << 8 | bit length) names, as
// index << 16 | sub-index, and its length in bits.
constexpr uint32_t MappedObject(uint32_t entry) {
    return (entry & 0xFFFF0000) | (entry >> 8 & 0xFF);
}
constexpr int MappedBits(uint32_t entry) {
    return static_cast<int>(entry & 0xFF);
}
constexpr bool IsDummy(uint32_t entry) {
    return (entry >> 16) >= 1 && (entry >> 16) <= kLastDummyIndex;
}
// Mapping sub 0 of a multiplexed PDO: source address mode (the producer's own objects) and
// destination address mode (the addressed node's objects).
constexpr uint8_t kMpdoSourceAddressing = 0xFE;
constexpr uint8_t kMpdoDestinationAddressing = 0xFF;
// Written to 0x1010 / 0x1011 sub n: "save" and "load" in ASCII, low byte first.
constexpr uint16_t kStoreParameters = 0x1010;
constexpr uint16_t kRestoreDefaultParameters = 0x1011;
constexpr uint32_t kSaveSignature = 0x65766173;
constexpr uint32_t kLoadSignature = 0x64616F6C;

enum class PdoDir : uint8_t { kReceive, kTransmit };

// One PDO's parameters.
struct PdoParameters {
    uint32_t cobId = kCobIdInvalid;
    uint8_t transmission = 0;
    uint8_t count = 0;  // mapping sub 0
    std::array<uint32_t, kMaxMappedEntries> entries{};

    // A mapping is in force only while the COB-ID is valid and sub 0 is not 0.
    bool InForce() const { return !(cobId & kCobIdInvalid) && count != 0; }
    bool Multiplexed() const {
        return count == kMpdoSourceAddressing || count == kMpdoDestinationAddressing;
    }
    // The identifier of the frames, as a frame's id holds it (bit 29 for a 29-bit identifier).
    uint32_t FrameId() const {
        return (cobId & kCobIdExtended) ? cobId & 0x3FFFFFFF : cobId & 0x7FF;
    }
    bool operator==(const PdoParameters& o) const {
        return cobId == o.cobId && transmission == o.transmission && count == o.count &&
               entries == o.entries;
    }
    bool operator!=(const PdoParameters& o) const { return !(*this == o); }
};

// The PDO configuration of one node, by direction and number; PDOs never configured are absent.
class PdoConfig {
  public:
    // What the node has at power-on by its dictionary (null: none): ParameterValue, else
    // DefaultValue; the predefined connection set for PDOs 1..4 the dictionary does not
    // describe.
    static PdoConfig FromDictionary(CANopenObjDict* dict, int nodeId);

    // Applies a value written to (or read from) object index, sub-index sub; false when the
    // object is no PDO parameter.
    bool Write(uint16_t index, uint8_t sub, uint32_t value);
    // Null when the PDO has no parameters.
    const PdoParameters* Find(PdoDir dir, int num) const;
    const std::map<int, PdoParameters>& All() const { return pdos; }

    bool operator==(const PdoConfig& o) const { return pdos == o.pdos; }
    bool operator!=(const PdoConfig& o) const { return pdos != o.pdos; }

    // The key of PDO num (1..512) of direction dir in All(), and back.
    static int Key(PdoDir dir, int num) {
        return (dir == PdoDir::kTransmit ? kMaxPdos : 0) + num - 1;
    }
    static PdoDir DirOf(int key) { return key >= kMaxPdos ? PdoDir::kTransmit : PdoDir::kReceive; }
    static int NumOf(int key) { return key % kMaxPdos + 1; }

  private:
    std::map<int, PdoParameters> pdos;
};
