#include "sim/sim_pdo.h"

#include <algorithm>

namespace {

uint32_t Key(int index, int sub) {
    return static_cast<uint32_t>(index) << 16 | static_cast<uint32_t>(sub);
}

}  // namespace

std::vector<SimPdo> SimPdo::InForce(const std::map<uint32_t, ObjValue>& objects, PdoDir dir) {
    const bool transmit = dir == PdoDir::kTransmit;
    const int communication = transmit ? kTpdoCommunication : kRpdoCommunication;
    const int mapping = transmit ? kTpdoMapping : kRpdoMapping;
    std::vector<SimPdo> pdos;
    for (int n = 0; n < kMaxPdos; ++n) {
        auto comm = objects.find(Key(communication + n, 1));
        auto count = objects.find(Key(mapping + n, 0));
        if (comm == objects.end() || count == objects.end()) break;
        const uint32_t cobId = static_cast<uint32_t>(comm->second.Number());
        const uint64_t entries = count->second.Number();
        if ((cobId & kCobIdInvalid) || entries == 0 || entries > kMaxMappedEntries) continue;
        SimPdo pdo;
        pdo.id = cobId & 0x7FF;
        for (uint64_t i = 1; i <= entries; ++i) {
            auto entry = objects.find(Key(mapping + n, static_cast<int>(i)));
            pdo.entries.push_back(
                entry == objects.end() ? 0 : static_cast<uint32_t>(entry->second.Number()));
        }
        pdos.push_back(std::move(pdo));
    }
    return pdos;
}

bool SimPdo::Pack(const std::map<uint32_t, ObjValue>& values, uint8_t data[8], int* length) const {
    std::fill_n(data, 8, 0);
    int bits = 0;
    for (uint32_t e : entries) {
        const int size = MappedBits(e);
        if (bits + size > 64) return false;
        auto value = values.find(MappedObject(e));
        const uint64_t raw = value == values.end() ? 0 : value->second.Number();
        for (int b = 0; b < size; ++b, ++bits)
            if (raw >> b & 1) data[bits / 8] |= static_cast<uint8_t>(1u << bits % 8);
    }
    *length = (bits + 7) / 8;
    return true;
}

bool SimPdo::Unpack(const CANframe& frame, std::map<uint32_t, ObjValue>& objects) const {
    int bits = 0;
    for (uint32_t e : entries) bits += MappedBits(e);
    if (bits > frame.length * 8) return false;
    int at = 0;
    for (uint32_t e : entries) {
        const int size = MappedBits(e);
        auto object = IsDummy(e) ? objects.end() : objects.find(MappedObject(e));
        if (object != objects.end() && !object->second.VariableSize()) {
            uint64_t raw = 0;
            for (int b = 0; b < size; ++b)
                if (frame.data[(at + b) / 8] >> (at + b) % 8 & 1) raw |= uint64_t{1} << b;
            object->second.SetNumber(raw);
        }
        at += size;
    }
    return true;
}
