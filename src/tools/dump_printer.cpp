#include "tools/dump_printer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "base/utils.h"
#include "decode/parser.h"
#include "io/log_format_writer.h"
#include "store/filt_store.h"
#include "store/msg_store.h"

namespace {

// Microseconds as seconds with six decimals, as "%.6f" prints them; returns the end.
char* PutSeconds(char* p, int64_t micros) {
    if (micros < 0) {
        *p++ = '-';
        micros = -micros;
    }
    p = std::to_chars(p, p + 24, micros / 1000000).ptr;
    *p++ = '.';
    const int64_t fraction = micros % 1000000;
    for (int64_t unit = 100000; unit > 0; unit /= 10)
        *p++ = static_cast<char>('0' + fraction / unit % 10);
    return p;
}

const char* LevelSuffix(int level) {
    return level == 1 ? "  (warning)" : level == 2 ? "  (error)" : "";
}

// Whether s goes into JSON as it stands: printable ASCII without quotes or backslashes.
bool Plain(const char* s, size_t n) {
    for (size_t i = 0; i < n; i++) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80) return false;
    }
    return true;
}

// Appends s as a JSON string the way the JSON library writes it, invalid UTF-8 replaced.
// Printable ASCII without quotes or backslashes, nearly every text, is copied as it stands; the
// library escapes the rest.
void AppendJsonString(std::string& out, const char* s, size_t n) {
    if (!Plain(s, n)) {
        out += nlohmann::json(std::string(s, n))
                   .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return;
    }
    out += '"';
    out.append(s, n);
    out += '"';
}

void AppendJsonString(std::string& out, const std::string& s) {
    AppendJsonString(out, s.data(), s.size());
}

template <typename Number>
void AppendNumber(std::string& out, Number value) {
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Appends ,"key":value for a number.
template <typename Number>
void AppendMember(std::string& out, const char* key, Number value) {
    out += ",\"";
    out += key;
    out += "\":";
    AppendNumber(out, value);
}

const char* TypeName(int type) {
    switch (type) {
        case FRAME_DATA:
            return "data";
        case FRAME_RTR:
            return "rtr";
        case FRAME_ERROR:
            return "error";
        case FRAME_TEXT:
            return "text";
        default:
            return nullptr;
    }
}

// The bytes "data" holds: the frame's length, of a remote frame the length it asks for and of an
// error frame its error bytes, within the record's eight.
int DataBytes(const CANframe& frame) {
    return std::clamp(static_cast<int>(frame.length), 0, static_cast<int>(sizeof frame.data));
}

// {"first":..,"count":..,"level":..,"text":".." without the closing brace.
void AppendFrag(std::string& out, const ParseFrag& f) {
    out += "{\"first\":";
    AppendNumber(out, f.first);
    AppendMember(out, "count", f.count);
    AppendMember(out, "level", static_cast<unsigned>(f.level));
    out += ",\"text\":";
    AppendJsonString(out, f.text);
}

// Room for a frame's members up to its description: names, 16 hex digits, eleven numbers.
constexpr size_t kFrameMembersRoom = 512;

// Writes through a pointer into room made beforehand: most frames carry a few values, each a
// handful of small pieces, and appending them one by one was most of the time.
struct Writer {
    char* p;
    void Put(const char* s, size_t n) {
        std::memcpy(p, s, n);
        p += n;
    }
    template <size_t N>
    void Put(const char (&s)[N]) {
        Put(s, N - 1);
    }
    template <typename N>
    void Number(N n) {
        p = std::to_chars(p, p + 24, n).ptr;
    }
    void Quoted(const char* s, size_t n) {
        *p++ = '"';
        Put(s, n);
        *p++ = '"';
    }
};

// Whether v goes into JSON as it stands: no text to escape, no double.
bool PlainValue(const DecodedValue& v) {
    return Plain(v.name.data(), v.name.size()) && v.form != DecodedValue::Form::kReal &&
           (v.form != DecodedValue::Form::kText || Plain(v.text.data(), v.text.size()));
}

// The room v takes at most, written by WriteValue.
size_t ValueRoom(const DecodedValue& v) {
    return 160 + v.name.size() + std::strlen(v.type) + v.text.size();
}

void WriteValue(Writer& w, const DecodedValue& v) {
    w.Put("{\"index\":");
    w.Number(v.index);
    w.Put(",\"sub\":");
    w.Number(v.sub);
    w.Put(",\"name\":");
    w.Quoted(v.name.data(), v.name.size());
    w.Put(",\"type\":");
    w.Quoted(v.type, std::strlen(v.type));
    w.Put(",\"first_bit\":");
    w.Number(v.firstBit);
    w.Put(",\"bits\":");
    w.Number(v.bits);
    w.Put(",\"value\":");
    switch (v.form) {
        case DecodedValue::Form::kSigned:
            w.Number(v.number);
            break;
        case DecodedValue::Form::kUnsigned:
            w.Number(v.unsignedNumber);
            break;
        case DecodedValue::Form::kText:
            w.Quoted(v.text.data(), v.text.size());
            break;
        default:
            w.Put("null");
    }
    *w.p++ = '}';
}

// The rare values the JSON library writes: escaped texts, doubles.
void AppendValueByLibrary(std::string& out, const DecodedValue& v) {
    out += "{\"index\":";
    AppendNumber(out, v.index);
    AppendMember(out, "sub", v.sub);
    out += ",\"name\":";
    AppendJsonString(out, v.name);
    out += ",\"type\":";
    AppendJsonString(out, v.type, std::strlen(v.type));
    AppendMember(out, "first_bit", v.firstBit);
    AppendMember(out, "bits", v.bits);
    out += ",\"value\":";
    if (v.form == DecodedValue::Form::kReal)
        // As the JSON library writes a double: the shortest text that reads back the same,
        // null for what JSON cannot hold.
        out += nlohmann::json(v.real).dump();
    else if (v.form == DecodedValue::Form::kText)
        AppendJsonString(out, v.text);
    else if (v.form == DecodedValue::Form::kSigned)
        AppendNumber(out, v.number);
    else if (v.form == DecodedValue::Form::kUnsigned)
        AppendNumber(out, v.unsignedNumber);
    else
        out += "null";
    out += '}';
}

// ,"pdo":{..},"values":[..],"time":"..","sync_counter":n, each only when there is one. The
// values are written in one pass into room made for them all when none needs escaping.
void AppendValues(std::string& out, const FrameValues& values) {
    size_t room = 64;
    bool plain = true;
    for (size_t i = 0; i < values.Count(); i++) {
        room += ValueRoom(values[i]) + 1;
        plain = plain && PlainValue(values[i]);
    }
    const size_t at = out.size();
    out.resize(at + room);
    Writer w{&out[at]};
    if (values.isPdo) {
        w.Put(",\"pdo\":{\"dir\":\"");
        *w.p++ = values.pdo.dir;
        w.Put("\",\"num\":");
        w.Number(values.pdo.num);
        w.Put(",\"node\":");
        w.Number(values.pdo.node);
        *w.p++ = '}';
    }
    if (values.Count() > 0) {
        w.Put(",\"values\":[");
        for (size_t i = 0; plain && i < values.Count(); i++) {
            if (i) *w.p++ = ',';
            WriteValue(w, values[i]);
        }
    }
    out.resize(static_cast<size_t>(w.p - out.data()));
    if (values.Count() > 0) {
        for (size_t i = 0; !plain && i < values.Count(); i++) {
            if (i) out += ',';
            AppendValueByLibrary(out, values[i]);
        }
        out += ']';
    }
    if (!values.time.empty()) {
        out += ",\"time\":";
        AppendJsonString(out, values.time);
    }
    if (values.syncCounter >= 0) AppendMember(out, "sync_counter", values.syncCounter);
}

}  // namespace

void DumpPrinter::AddStore(StoreIndex, StoreIndex last, int) {
    printed++;
    if (options.quiet) return;
    // The frame is still held: this notice runs within its addition to the store.
    const StoreIndex index = view.GetStoreIndex(last);
    CANframe frame;
    if (!msgStore.Get(index, frame)) return;
    if (options.log && !options.log->Carries(frame))
        leftOut++;
    else if (options.log)
        options.log->Write(frame, out);
    else if (options.json)
        PrintJson(index, frame);
    else
        PrintText(index, frame);
}

std::string DumpPrinter::Describe(const CANframe& frame, int* status, FrameValues* values) {
    CANframe copy(frame);
    std::string desc = values ? parser.Describe(copy, values) : parser.GetShortDesc(copy);
    *status = copy.status;
    return desc;
}

void DumpPrinter::PrintText(StoreIndex index, CANframe& frame) {
    int status;
    const std::string desc = Describe(frame, &status);
    // Formatted by hand: printf's general number formatting was most of a row's cost. The same
    // texts as "%d\t%u\t%.6f\t0x%08x\t%d\t%s\n".
    char row[96];
    char* p = row;
    p = std::to_chars(p, row + sizeof row, static_cast<int>(frame.port)).ptr;
    *p++ = '\t';
    p = std::to_chars(p, row + sizeof row, index).ptr;
    *p++ = '\t';
    // A text line without a time stamp of its own has no delta and is no reference for the next.
    if (!options.delta) {
        p = PutSeconds(p, frame.timestamp);
    } else if (!frame.unstamped) {
        const int64_t delta =
            haveReference ? static_cast<int64_t>(frame.timestamp - previousTime) : 0;
        p = PutSeconds(p, delta);
        haveReference = true;
        previousTime = frame.timestamp;
    }
    *p++ = '\t';
    *p++ = '0';
    *p++ = 'x';
    for (int shift = 28; shift >= 0; shift -= 4) *p++ = LowerHexChar(frame.id >> shift);
    *p++ = '\t';
    p = std::to_chars(p, row + sizeof row, status).ptr;
    *p++ = '\t';
    std::fwrite(row, 1, p - row, out);
    std::fputs(desc.c_str(), out);
    std::fputc('\n', out);
    if (!options.detail) return;
    std::unique_ptr<ParsedMessage> message(parser.Parse(frame));
    std::string line;
    for (int row = 0; row < message->numFrags && row < ParsedMessage::kRows; row++) {
        for (int col = 0; col < ParsedMessage::kCols; col++) {
            const ParseFrag* f = message->getFrag(row, col);
            if (f) {
                // One write per line; the text ends at a NUL, as printf's %s would end it.
                line.assign(col ? "        " : "    ");
                line.append(f->text.c_str());
                line.append(LevelSuffix(f->level));
                line.push_back('\n');
                std::fwrite(line.data(), 1, line.size(), out);
            }
        }
    }
}

void DumpPrinter::PrintJson(StoreIndex index, CANframe& frame) {
    int status;
    values.Clear();
    const std::string desc = Describe(frame, &status, &values);
    // Written by hand, member by member in the order and form of the JSON library's compact
    // output: building a document per frame was most of the time.
    std::string& j = jsonLine;
    const char* name = TypeName(frame.type);
    if (frame.type == FRAME_TEXT || !name) {
        j.assign("{\"port\":");
        AppendNumber(j, static_cast<unsigned>(frame.port));
        AppendMember(j, "msg", index);
        AppendMember(j, "timestamp", frame.timestamp);
        if (name) {
            j += ",\"type\":\"";
            j += name;
            j += '"';
        } else {
            AppendMember(j, "type", static_cast<int>(frame.type));
        }
        j += frame.extended ? ",\"ext\":true" : ",\"ext\":false";
        AppendMember(j, "id", frame.id);
        AppendMember(j, "length", static_cast<int>(frame.length));
        if (frame.type == FRAME_TEXT) {
            j += ",\"data\":null,\"text\":";
            if (frame.text)
                AppendJsonString(j, frame.text, std::strlen(frame.text));
            else
                j += "null";
        } else {
            j += ",\"data\":\"";
            for (int i = 0; i < DataBytes(frame); i++) {
                j += LowerHexChar(frame.data[i] >> 4);
                j += LowerHexChar(frame.data[i]);
            }
            j += "\",\"text\":null";
        }
        AppendMember(j, "status", status);
        AppendMember(j, "scanInfo", frame.scanInfo);
        AppendMember(j, "txPrev", frame.Prev(index));
        AppendMember(j, "txNext", frame.Next(index));
        AppendMember(j, "objID", frame.objID);
    } else {
        // A frame: every member up to the description in one pass.
        j.resize(kFrameMembersRoom);
        Writer w{&j[0]};
        w.Put("{\"port\":");
        w.Number(static_cast<unsigned>(frame.port));
        w.Put(",\"msg\":");
        w.Number(index);
        w.Put(",\"timestamp\":");
        w.Number(frame.timestamp);
        w.Put(",\"type\":\"");
        w.Put(name, std::strlen(name));
        if (frame.extended)
            w.Put("\",\"ext\":true");
        else
            w.Put("\",\"ext\":false");
        w.Put(",\"id\":");
        w.Number(frame.id);
        w.Put(",\"length\":");
        w.Number(static_cast<int>(frame.length));
        w.Put(",\"data\":\"");
        for (int i = 0; i < DataBytes(frame); i++) {
            *w.p++ = LowerHexChar(frame.data[i] >> 4);
            *w.p++ = LowerHexChar(frame.data[i]);
        }
        w.Put("\",\"text\":null,\"status\":");
        w.Number(status);
        w.Put(",\"scanInfo\":");
        w.Number(frame.scanInfo);
        w.Put(",\"txPrev\":");
        w.Number(frame.Prev(index));
        w.Put(",\"txNext\":");
        w.Number(frame.Next(index));
        w.Put(",\"objID\":");
        w.Number(frame.objID);
        j.resize(static_cast<size_t>(w.p - j.data()));
    }
    j += ",\"desc\":";
    AppendJsonString(j, desc);
    if (!values.Empty()) AppendValues(j, values);
    if (options.detail) {
        std::unique_ptr<ParsedMessage> message(parser.Parse(frame));
        j += ",\"lines\":[";
        bool firstLine = true;
        for (int row = 0; row < message->numFrags && row < ParsedMessage::kRows; row++) {
            const ParseFrag* top = message->getFrag(row, 0);
            if (!top) continue;
            if (!firstLine) j += ',';
            firstLine = false;
            AppendFrag(j, *top);
            j += ",\"sub\":[";
            bool firstSub = true;
            for (int col = 1; col < ParsedMessage::kCols; col++)
                if (const ParseFrag* f = message->getFrag(row, col)) {
                    if (!firstSub) j += ',';
                    firstSub = false;
                    AppendFrag(j, *f);
                    j += '}';
                }
            j += "]}";
        }
        j += ']';
    }
    j += "}\n";
    std::fwrite(j.data(), 1, j.size(), out);
}
