#include "decode/pdo_config.h"

#include "decode/obj_dict.h"

namespace {

// Base object, direction and whether it is the mapping of each of the four parameter ranges.
struct Range {
    uint16_t base;
    PdoDir dir;
    bool mapping;
};
constexpr Range kRanges[] = {{kRpdoCommunication, PdoDir::kReceive, false},
                             {kRpdoMapping, PdoDir::kReceive, true},
                             {kTpdoCommunication, PdoDir::kTransmit, false},
                             {kTpdoMapping, PdoDir::kTransmit, true}};

// The predefined connection set's COB-ID of PDO 1..4 without the node-ID.
uint32_t PredefinedCobId(PdoDir dir, int num) {
    return (dir == PdoDir::kTransmit ? 0x080u : 0x100u) + 0x100u * static_cast<uint32_t>(num);
}

}  // namespace

PdoConfig PdoConfig::FromDictionary(CANopenObjDict* dict, int nodeId) {
    PdoConfig config;
    for (const PdoDir dir : {PdoDir::kReceive, PdoDir::kTransmit}) {
        const uint16_t comm = dir == PdoDir::kTransmit ? kTpdoCommunication : kRpdoCommunication;
        for (int n = 0; n < kMaxPdos; n++) {
            const int num = n + 1;
            const bool described =
                dict && dict->Find(static_cast<uint32_t>(comm + n) << 16 | 1) != nullptr;
            if (!described && num <= 4)
                config.pdos[Key(dir, num)].cobId =
                    PredefinedCobId(dir, num) + static_cast<uint32_t>(nodeId);
        }
    }
    if (!dict) return config;
    for (const Range& range : kRanges) {
        for (int n = 0; n < kMaxPdos; n++) {
            const uint16_t index = static_cast<uint16_t>(range.base + n);
            const uint32_t object = static_cast<uint32_t>(index) << 16;
            if (!dict->Find(object) && !dict->Find(object | 1)) continue;
            const int subs = range.mapping ? kMaxMappedEntries : 2;
            for (int sub = 0; sub <= subs; sub++) {
                const ObjInfo* info = dict->Find(object | static_cast<uint32_t>(sub));
                uint64_t value;
                if (info && info->PowerOnValue(nodeId, &value))
                    config.Write(index, static_cast<uint8_t>(sub), static_cast<uint32_t>(value));
            }
        }
    }
    return config;
}

bool PdoConfig::Write(uint16_t index, uint8_t sub, uint32_t value) {
    for (const Range& range : kRanges) {
        if (index < range.base || index >= range.base + kMaxPdos) continue;
        PdoParameters& pdo = pdos[Key(range.dir, index - range.base + 1)];
        if (range.mapping) {
            if (sub == 0)
                pdo.count = static_cast<uint8_t>(value);
            else if (sub <= kMaxMappedEntries)
                pdo.entries[sub - 1] = value;
        } else if (sub == 1) {
            pdo.cobId = value;
        } else if (sub == 2) {
            pdo.transmission = static_cast<uint8_t>(value);
        }
        return true;
    }
    return false;
}

const PdoParameters* PdoConfig::Find(PdoDir dir, int num) const {
    auto it = pdos.find(Key(dir, num));
    return it == pdos.end() ? nullptr : &it->second;
}
