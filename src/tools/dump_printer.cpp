#include "tools/dump_printer.h"

#include <charconv>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "decode/parser.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "tools/log_writers.h"

namespace {

const char kHex[] = "0123456789abcdef";

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

nlohmann::ordered_json FragJson(const ParseFrag& f) {
    return {{"first", f.first}, {"count", f.count}, {"level", f.level}, {"text", f.text}};
}

nlohmann::ordered_json TypeJson(int type) {
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
            return type;
    }
}

}  // namespace

void DumpPrinter::AddStore(int, int last, int) {
    printed++;
    if (options.quiet) return;
    // The frame is still held: this notice runs within its addition to the store.
    const int index = view.GetFrameID(last);
    CANframe frame;
    if (!msgStore.Get(index, frame)) return;
    if (options.log)
        options.log->Write(frame, out);
    else if (options.json)
        PrintJson(index, frame);
    else
        PrintText(index, frame);
}

std::string DumpPrinter::Describe(const CANframe& frame, int* status) {
    CANframe copy(frame);
    std::string desc = parser.GetShortDesc(copy);
    *status = copy.status;
    return desc;
}

void DumpPrinter::PrintText(int index, CANframe& frame) {
    int status;
    const std::string desc = Describe(frame, &status);
    // Formatted by hand: printf's general number formatting was most of a row's cost. The same
    // texts as "%d\t%u\t%.6f\t0x%08x\t%d\t%s\n".
    char row[96];
    char* p = row;
    p = std::to_chars(p, row + sizeof row, static_cast<int>(frame.port)).ptr;
    *p++ = '\t';
    p = std::to_chars(p, row + sizeof row, static_cast<unsigned>(index)).ptr;
    *p++ = '\t';
    // A text line without a time stamp of its own has no delta and is no reference for the next.
    if (!options.delta) {
        p = PutSeconds(p, frame.timestamp);
    } else if (!frame.unstamped) {
        const int32_t delta =
            haveReference ? static_cast<int32_t>(frame.timestamp - previousTime) : 0;
        p = PutSeconds(p, delta);
        haveReference = true;
        previousTime = frame.timestamp;
    }
    *p++ = '\t';
    *p++ = '0';
    *p++ = 'x';
    for (int shift = 28; shift >= 0; shift -= 4) *p++ = kHex[(frame.id >> shift) & 15];
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

void DumpPrinter::PrintJson(int index, CANframe& frame) {
    int status;
    const std::string desc = Describe(frame, &status);
    nlohmann::ordered_json j;
    j["port"] = frame.port;
    j["msg"] = index;
    j["timestamp"] = frame.timestamp;
    j["type"] = TypeJson(frame.type);
    j["ext"] = frame.extended != 0;
    j["id"] = frame.id;
    j["length"] = static_cast<int>(frame.length);
    if (frame.type == FRAME_TEXT) {
        j["data"] = nullptr;
        j["text"] = frame.text ? nlohmann::ordered_json(frame.text) : nullptr;
    } else {
        static const char hex[] = "0123456789abcdef";
        std::string data;
        for (uint8_t b : frame.data) {
            data += hex[b >> 4];
            data += hex[b & 15];
        }
        j["data"] = data;
        j["text"] = nullptr;
    }
    j["status"] = status;
    j["scanInfo"] = frame.scanInfo;
    j["txPrev"] = frame.txPrev;
    j["txNext"] = frame.txNext;
    j["objID"] = frame.objID;
    j["desc"] = desc;
    if (options.detail) {
        std::unique_ptr<ParsedMessage> message(parser.Parse(frame));
        auto lines = nlohmann::ordered_json::array();
        for (int row = 0; row < message->numFrags && row < ParsedMessage::kRows; row++) {
            const ParseFrag* top = message->getFrag(row, 0);
            if (!top) continue;
            auto line = FragJson(*top);
            auto sub = nlohmann::ordered_json::array();
            for (int col = 1; col < ParsedMessage::kCols; col++)
                if (const ParseFrag* f = message->getFrag(row, col)) sub.push_back(FragJson(*f));
            line["sub"] = sub;
            lines.push_back(line);
        }
        j["lines"] = lines;
    }
    // Text from a log file need not be UTF-8: replace what is not, rather than fail.
    std::string text = j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::fprintf(out, "%s\n", text.c_str());
}
