#include "decode/pdo_decoder.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <vector>

#include "base/utils.h"
#include "decode/data_types.h"
#include "decode/obj_dict.h"
#include "decode/object_names.h"
#include "decode/parser.h"
#include "decode/value_text.h"

namespace {

constexpr int kFrameBits = 64;
// A multiplexed PDO: address byte (bit 7 the destination address mode), index, sub-index,
// then up to four bytes of the value.
constexpr uint8_t kMpdoDestinationBit = 0x80;
constexpr int kMpdoValueBit = 32;

std::string ObjectText(uint16_t index, uint8_t sub) {
    return Format("0x%04x.%02x", index, sub);
}

// The bytes a value spans, for the detail view's highlight.
void AddValueLine(ParsedMessage* message, const DecodedValue& v, const std::string& text,
                  int level) {
    const int firstByte = v.firstBit / 8;
    const int lastByte = (v.firstBit + std::max(v.bits, 1) - 1) / 8;
    message->addFrag(firstByte, lastByte - firstByte + 1, text, level);
}

std::string Label(const PdoRoute& route) {
    return Format("%cPDO%d", route.dir == PdoDir::kTransmit ? 'T' : 'R', route.num);
}

// The raw decoding, with the reason the mapping was not read: a warning where the dictionary
// and the mapping disagree, a plain note where no dictionary was given.
std::string Raw(CANframe& frame, Parser& raw, ParsedMessage* message, const std::string& why,
                bool warn = true) {
    const std::string desc = raw.Parser::doParse(frame, message);
    if (warn) frame.RaiseStatus(Severity::kWarning);
    if (message) message->addFrag(0, 0, why, warn ? 1 : 0);
    return desc;
}

std::string DecodeMultiplexed(CANframe& frame, const PdoRoute& route, ObjectNames* names,
                              Parser& raw, ParsedMessage* message, FrameValues* values,
                              const std::string& prefix) {
    const std::string label = Label(route);
    if (frame.length < 8)
        return Raw(
            frame, raw, message,
            Format("frame has %d bytes, %s maps 8", static_cast<int>(frame.length), label.c_str()));
    const bool destination = frame.data[0] & kMpdoDestinationBit;
    const int address = frame.data[0] & 0x7F;
    DecodedValue v;
    v.index = Build16(frame.data + 1);
    v.sub = frame.data[3];
    // In destination address mode the object is the addressed node's (all nodes: the
    // producer's describes it as well as any); else the producer's own.
    const int owner = destination && address != 0 ? address : route.node;
    CANopenObjDict* dict = names ? names->Dictionary(frame.port, owner) : nullptr;
    const ObjInfo* info = dict ? dict->Find(static_cast<uint32_t>(v.index) << 16 | v.sub) : nullptr;
    const DataType* type = info ? FindDataType(info->dataType) : nullptr;
    const std::string object = ObjectText(v.index, v.sub);
    const std::string where =
        destination ? (address ? Format("MPDO to node %d", address) : std::string("MPDO to all"))
                    : Format("MPDO from node %d", address);
    if (!type || (type->bits != 0 && type->bits > kFrameBits - kMpdoValueBit) || type->bits == 0) {
        const std::string why =
            !dict   ? Format("%s: no dictionary of node %d names %s", where.c_str(), owner,
                             object.c_str())
            : !info ? Format("%s: the dictionary of node %d lacks %s", where.c_str(), owner,
                             object.c_str())
            : !type ? Format("%s: %s has data type 0x%04x, which is not a basic type",
                             where.c_str(), object.c_str(), info->dataType)
                    : Format("%s: %s of type %s does not fit in four bytes", where.c_str(),
                             object.c_str(), type->name);
        if (values) values->isPdo = true;
        return Raw(frame, raw, message, why, dict != nullptr);
    }
    v.name = info->name;
    v.type = type->name;
    v.firstBit = kMpdoValueBit;
    v.bits = type->bits;
    ReadBitsValue(frame.data, *type, v);
    if (message) {
        message->addFrag(-1, 1,
                         Format("%s %s node %d, multiplexed", label.c_str(),
                                route.dir == PdoDir::kTransmit ? "from" : "to", route.node),
                         0);
        message->addFrag(0, 1, where, 0);
        message->addFrag(
            1, 3, Format("Object %s %s (%s)", object.c_str(), v.name.c_str(), v.type.c_str()), 0);
        AddValueLine(message, v, "Value: " + LongText(v), 0);
    }
    const std::string desc = prefix + where + ": " + v.name + "=" + ShortText(v);
    if (values) {
        values->isPdo = true;
        values->values.push_back(std::move(v));
    }
    return desc;
}

}  // namespace

std::string DecodePdo(CANframe& frame, const PdoRoute& route, ObjectNames* names, Parser& raw,
                      ParsedMessage* message, FrameValues* values) {
    const PdoParameters& params = *route.params;
    const std::string label = Label(route);
    if (values) {
        values->isPdo = true;
        values->pdo = {route.dir == PdoDir::kTransmit ? 'T' : 'R', route.num, route.node};
    }
    if (frame.type == FRAME_RTR) {
        if (message) {
            message->addFrag(-1, 1, Format("%s of node %d", label.c_str(), route.node), 0);
            message->addFrag(0, frame.length, "Remote request: the node is asked to send it", 0);
        }
        return Format("%s->%d: remote request", label.c_str(), route.node);
    }
    const std::string prefix =
        Format(route.dir == PdoDir::kTransmit ? "%s<-%d: " : "%s->%d: ", label.c_str(), route.node);
    if (params.Multiplexed())
        return DecodeMultiplexed(frame, route, names, raw, message, values, prefix);

    CANopenObjDict* dict = names ? names->Dictionary(frame.port, route.node) : nullptr;
    struct Field {
        DecodedValue value;
        const DataType* type;
        bool fits = false;  // inside the frame's bytes
    };
    std::vector<Field> fields;
    int total = 0;
    std::string why;
    const int count = std::min<int>(params.count, kMaxMappedEntries);
    for (int i = 0; i < count && why.empty(); i++) {
        const uint32_t entry = params.entries[i];
        const int bits = entry & 0xFF;
        const uint16_t index = entry >> 16;
        const uint8_t sub = (entry >> 8) & 0xFF;
        if (index >= 1 && index <= kLastDummyIndex) {
            total += bits;
            continue;
        }
        const std::string object = ObjectText(index, sub);
        const ObjInfo* info = dict ? dict->Find(static_cast<uint32_t>(index) << 16 | sub) : nullptr;
        const DataType* type = info ? FindDataType(info->dataType) : nullptr;
        if (!dict)
            why = Format("No dictionary of node %d names the objects %s maps", route.node,
                         label.c_str());
        else if (!info)
            why = Format("%s maps %s, which the dictionary of node %d lacks", label.c_str(),
                         object.c_str(), route.node);
        else if (!type)
            why = Format("%s maps %s of data type 0x%04x, which is not a basic type", label.c_str(),
                         object.c_str(), info->dataType);
        if (!why.empty()) break;
        Field f{DecodedValue(), type, false};
        f.value.index = index;
        f.value.sub = sub;
        f.value.name = info->name;
        f.value.type = type->name;
        f.value.firstBit = total;
        f.value.bits = bits;
        fields.push_back(std::move(f));
        total += bits;
    }
    if (why.empty() && total > kFrameBits)
        why = Format("%s maps %d bits, more than the 64 a frame holds", label.c_str(), total);
    if (!why.empty()) return Raw(frame, raw, message, why, dict != nullptr);

    const int length = std::clamp(static_cast<int>(frame.length), 0, 8);
    if (message)
        message->addFrag(-1, 1,
                         Format("%s %s node %d", label.c_str(),
                                route.dir == PdoDir::kTransmit ? "from" : "to", route.node),
                         0);
    std::string desc = prefix;
    for (Field& f : fields) {
        DecodedValue& v = f.value;
        f.fits = v.firstBit + v.bits <= 8 * length;
        std::string note;
        if (f.type->bits != 0 && v.bits != f.type->bits)
            note = Format("mapped with %d bits, %s has %d", v.bits, f.type->name, f.type->bits);
        else if (f.type->bits == 0 && (v.bits == 0 || v.bits % 8 != 0))
            note = Format("mapped with %d bits, not whole bytes", v.bits);
        if (!note.empty()) frame.RaiseStatus(Severity::kWarning);
        if (!f.fits) continue;  // the frame's short line below says so
        if (note.empty()) ReadBitsValue(frame.data, *f.type, v);
        if (desc.size() > prefix.size()) desc += ' ';
        desc += v.name + "=" + ShortText(v);
        if (message) {
            const std::string head =
                Format("%s %s (%s, bits %d-%d): ", ObjectText(v.index, v.sub).c_str(),
                       v.name.c_str(), v.type.c_str(), v.firstBit, v.firstBit + v.bits - 1);
            AddValueLine(message, v, head + (note.empty() ? LongText(v) : "no value, " + note),
                         note.empty() ? 0 : 1);
        }
    }
    if (total > 8 * length) {
        frame.RaiseStatus(Severity::kWarning);
        if (message)
            message->addFrag(
                0, length,
                Format("frame has %d bytes, %s maps %d", length, label.c_str(), (total + 7) / 8),
                1);
    }
    if (values)
        for (Field& f : fields)
            if (f.fits) values->values.push_back(std::move(f.value));
    return desc;
}
