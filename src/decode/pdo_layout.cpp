#include "decode/pdo_layout.h"

#include "base/utils.h"
#include "decode/obj_dict.h"

namespace {

constexpr int kFrameBits = 64;

}  // namespace

std::shared_ptr<const PdoLayout> MakePdoLayout(const PdoParameters& params, PdoDir dir, int num,
                                               int node, CANopenObjDict* dict) {
    auto layout = std::make_shared<PdoLayout>();
    PdoLayout& l = *layout;
    const bool transmit = dir == PdoDir::kTransmit;
    l.label = Format("%cPDO%d", transmit ? 'T' : 'R', num);
    l.prefix = Format(transmit ? "%s<-%d: " : "%s->%d: ", l.label.c_str(), node);
    l.title = Format("%s %s node %d", l.label.c_str(), transmit ? "from" : "to", node);
    l.multiplexed = params.Multiplexed();
    if (l.multiplexed) return layout;
    const int count = std::min<int>(params.count, kMaxMappedEntries);
    for (int i = 0; i < count; i++) {
        const uint32_t entry = params.entries[i];
        const int bits = MappedBits(entry);
        const uint16_t index = entry >> 16;
        const uint8_t sub = MappedObject(entry) & 0xFF;
        if (IsDummy(entry)) {
            l.bits += bits;
            continue;
        }
        const std::string object = Format("0x%04x.%02x", index, sub);
        const ObjInfo* info = dict ? dict->Find(MappedObject(entry)) : nullptr;
        const DataType* type = info ? FindDataType(info->dataType) : nullptr;
        l.warn = dict != nullptr;
        if (!dict)
            l.why =
                Format("No dictionary of node %d names the objects %s maps", node, l.label.c_str());
        else if (!info)
            l.why = Format("%s maps %s, which the dictionary of node %d lacks", l.label.c_str(),
                           object.c_str(), node);
        else if (!type)
            l.why = Format("%s maps %s of data type 0x%04x, which is not a basic type",
                           l.label.c_str(), object.c_str(), info->dataType);
        if (!l.why.empty()) return layout;
        PdoLayout::Field f{DecodedValue(), type, "", ""};
        f.value.index = index;
        f.value.sub = sub;
        f.value.name = info->name;
        f.value.type = type->name;
        f.value.firstBit = l.bits;
        f.value.bits = bits;
        if (type->bits != 0 && bits != type->bits)
            f.note = Format("mapped with %d bits, %s has %d", bits, type->name, type->bits);
        else if (type->bits == 0 && (bits == 0 || bits % 8 != 0))
            f.note = Format("mapped with %d bits, not whole bytes", bits);
        f.head = Format("%s %s (%s, bits %d-%d): ", object.c_str(), info->name.c_str(), type->name,
                        l.bits, l.bits + bits - 1);
        l.fields.push_back(std::move(f));
        l.bits += bits;
    }
    if (l.bits > kFrameBits) {
        l.warn = true;
        l.why = Format("%s maps %d bits, more than the 64 a frame holds", l.label.c_str(), l.bits);
    }
    return layout;
}
