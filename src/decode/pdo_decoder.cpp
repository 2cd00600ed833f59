#include "decode/pdo_decoder.h"

#include <algorithm>

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

// A detail line over the bytes the value spans, for the detail view's highlight.
void AddValueLine(ParsedMessage* message, const DecodedValue& v, const std::string& text,
                  int level) {
    const int firstByte = v.firstBit / 8;
    const int lastByte = (v.firstBit + std::max(v.bits, 1) - 1) / 8;
    message->addFrag(firstByte, lastByte - firstByte + 1, text, level);
}

// The raw decoding, with the reason the mapping was not read: a warning where the dictionary
// and the mapping disagree, a plain note where no dictionary was given.
std::string Raw(CANframe& frame, Parser& raw, ParsedMessage* message, const std::string& why,
                bool warn) {
    const std::string desc = raw.Parser::doParse(frame, message);
    if (warn) frame.RaiseStatus(Severity::kWarning);
    if (message) message->addFrag(0, 0, why, warn ? 1 : 0);
    return desc;
}

std::string DecodeMultiplexed(CANframe& frame, const PdoRoute& route, const PdoLayout& layout,
                              ObjectNames* names, Parser& raw, ParsedMessage* message,
                              FrameValues* values) {
    if (frame.length < 8)
        return Raw(frame, raw, message,
                   Format("frame has %d bytes, %s maps 8", static_cast<int>(frame.length),
                          layout.label.c_str()),
                   true);
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
    const std::string object = Format("0x%04x.%02x", v.index, v.sub);
    const std::string where =
        destination ? (address ? Format("MPDO to node %d", address) : std::string("MPDO to all"))
                    : Format("MPDO from node %d", address);
    if (!type || type->bits == 0 || type->bits > kFrameBits - kMpdoValueBit) {
        const std::string why =
            !dict   ? Format("%s: no dictionary of node %d names %s", where.c_str(), owner,
                             object.c_str())
            : !info ? Format("%s: the dictionary of node %d lacks %s", where.c_str(), owner,
                             object.c_str())
            : !type ? Format("%s: %s has data type 0x%04x, which is not a basic type",
                             where.c_str(), object.c_str(), info->dataType)
                    : Format("%s: %s of type %s does not fit in four bytes", where.c_str(),
                             object.c_str(), type->name);
        return Raw(frame, raw, message, why, dict != nullptr);
    }
    v.name = info->name;
    v.type = type->name;
    v.firstBit = kMpdoValueBit;
    v.bits = type->bits;
    ReadBitsValue(frame.data, *type, v);
    if (message) {
        message->addFrag(-1, 1, layout.title + ", multiplexed", 0);
        message->addFrag(0, 1, where, 0);
        message->addFrag(1, 3, Format("Object %s %s (%s)", object.c_str(), v.name.c_str(), v.type),
                         0);
        AddValueLine(message, v, "Value: " + LongText(v), 0);
    }
    std::string desc = layout.prefix + where + ": " + v.name + "=";
    AppendShortText(desc, v);
    if (values) values->Add() = std::move(v);
    return desc;
}

}  // namespace

std::string DecodePdo(CANframe& frame, const PdoRoute& route, ObjectNames* names, Parser& raw,
                      ParsedMessage* message, FrameValues* values) {
    const PdoLayout& layout = *route.layout;
    if (values) {
        values->isPdo = true;
        values->pdo = {route.dir == PdoDir::kTransmit ? 'T' : 'R', route.num, route.node};
    }
    if (frame.type == FRAME_RTR) {
        if (message) {
            message->addFrag(-1, 1, Format("%s of node %d", layout.label.c_str(), route.node), 0);
            message->addFrag(0, frame.length, "Remote request: the node is asked to send it", 0);
        }
        return Format("%s->%d: remote request", layout.label.c_str(), route.node);
    }
    if (layout.multiplexed)
        return DecodeMultiplexed(frame, route, layout, names, raw, message, values);
    if (!layout.why.empty()) return Raw(frame, raw, message, layout.why, layout.warn);

    const int length = std::clamp(static_cast<int>(frame.length), 0, 8);
    if (message) message->addFrag(-1, 1, layout.title, 0);
    std::string desc = layout.prefix;
    for (const PdoLayout::Field& f : layout.fields) {
        if (!f.note.empty()) frame.RaiseStatus(Severity::kWarning);
        // Entries beyond the frame's bytes are left out; the frame's short line says so.
        if (f.value.firstBit + f.value.bits > 8 * length) continue;
        DecodedValue local;
        DecodedValue& v = values ? values->Add() : local;
        v = f.value;
        if (f.note.empty()) ReadBitsValue(frame.data, *f.type, v);
        if (desc.size() > layout.prefix.size()) desc += ' ';
        desc += v.name;
        desc += '=';
        AppendShortText(desc, v);
        if (message)
            AddValueLine(message, v,
                         f.head + (f.note.empty() ? LongText(v) : "no value, " + f.note),
                         f.note.empty() ? 0 : 1);
    }
    if (layout.bits > 8 * length) {
        frame.RaiseStatus(Severity::kWarning);
        if (message)
            message->addFrag(0, length,
                             Format("frame has %d bytes, %s maps %d", length, layout.label.c_str(),
                                    (layout.bits + 7) / 8),
                             1);
    }
    return desc;
}
