#include "io/candump_log.h"

#include <cstdio>
#include <cstring>

#include "base/utils.h"
#include "store/error_bits.h"

namespace {

constexpr uint32_t kErrFlag = 0x20000000;
// The bus-error class: the writer marks every error frame with it, as tools that read these
// logs look for it, so it tells nothing of its own (the protocol bits tell the bus errors).
constexpr uint32_t kErrBusErrorClass = 0x80;
constexpr uint32_t kErrCountersClass = 0x200;
constexpr int kMaxPorts = 256;

int HexPair(const char* p) {
    const int high = HexDigit(p[0]);
    const int low = HexDigit(p[1]);
    return high < 0 || low < 0 ? -1 : high << 4 | low;
}

// Hex byte pairs, optionally separated by dots, up to max; the count, or -1 when malformed.
int ReadBytes(const char* p, const char* end, uint8_t* data, int max) {
    int n = 0;
    while (p < end) {
        if (*p == '.') {
            p++;
            continue;
        }
        if (end - p < 2 || n == max) return -1;
        const int v = HexPair(p);
        if (v < 0) return -1;
        data[n++] = static_cast<uint8_t>(v);
        p += 2;
    }
    return n;
}

}  // namespace

int CandumpLogParser::Port(const Word& name, bool add) {
    for (size_t i = 0; i < interfaces.size(); i++)
        if (interfaces[i].size() == name.n && interfaces[i].compare(0, name.n, name.p, name.n) == 0)
            return static_cast<int>(i);
    if (interfaces.size() == kMaxPorts) return -1;
    if (!add) return static_cast<int>(interfaces.size());
    interfaces.emplace_back(name.p, name.n);
    return static_cast<int>(interfaces.size() - 1);
}

bool CandumpLogParser::Parse(char* line, CANframe& frame) {
    StartLine();
    const int count = Split(line);
    if (count > 0 && words[0].p[0] == '#') {  // a comment
        Comment(frame, words[0].p);
        return true;
    }
    if (count < 3) return false;
    const Word& stamp = words[0];
    uint64_t micros;
    if (stamp.n < 3 || stamp.p[0] != '(' || stamp.p[stamp.n - 1] != ')' ||
        !Fixed({stamp.p + 1, stamp.n - 2}, 6, &micros))
        return false;
    const Word& word = words[2];
    const char* end = word.p + word.n;
    const char* hash = static_cast<const char*>(std::memchr(word.p, '#', word.n));
    if (!hash) return false;
    uint32_t id;
    const size_t idDigits = static_cast<size_t>(hash - word.p);
    if ((idDigits != 3 && idDigits != 8) || !Hex({word.p, idDigits}, &id) ||
        (idDigits == 3 && id > 0x7FF))
        return false;

    frame.Reset(false);
    // A malformed line does not number its interface: that waits for the interface's first frame.
    if (Port(words[1], false) < 0) return false;
    const char* p = hash + 1;
    if (p < end && *p == '#') {  // CAN FD: a flags digit, then up to 64 bytes
        uint8_t data[64];
        if (end - p < 2) return false;
        const int n = ReadBytes(p + 2, end, data, 64);
        if (n < 0) return false;
        frame.port = static_cast<uint8_t>(Port(words[1], true));
        frame.timestamp = FrameTime(micros);
        SetId(frame, id, idDigits == 8);
        SetData(frame, n, data);
        return true;
    }
    if (p < end && (*p == 'R' || *p == 'r')) {
        if (end - p > 2 || (end - p == 2 && (p[1] < '0' || p[1] > '8'))) return false;
        frame.type = FRAME_RTR;
        frame.length = end - p == 2 ? p[1] - '0' : 0;
    } else {
        const int n = ReadBytes(p, end, frame.data, 8);
        // An 8-byte frame may carry its raw length code after an underscore; it adds nothing.
        if (n < 0) {
            const char* under = static_cast<const char*>(std::memchr(p, '_', end - p));
            if (!under || end - under != 2 || ReadBytes(p, under, frame.data, 8) != 8) {
                std::memset(frame.data, 0, sizeof frame.data);
                return false;
            }
            frame.length = 8;
        } else {
            frame.length = n;
        }
    }
    frame.port = static_cast<uint8_t>(Port(words[1], true));
    frame.timestamp = FrameTime(micros);
    if (idDigits == 8 && (id & kErrFlag)) {
        uint8_t bytes[8];
        std::memcpy(bytes, frame.data, sizeof bytes);
        frame.type = FRAME_ERROR;
        // The classes read as a port reads them, so that a log keeps what a capture keeps.
        frame.id = ErrorBitsFromSocketCan(id & ~kErrBusErrorClass, bytes);
        std::memset(frame.data, 0, sizeof frame.data);
        frame.data[0] = bytes[6];
        frame.data[1] = bytes[7];
        frame.length = 2;
        return true;
    }
    SetId(frame, id, idDigits == 8);
    return true;
}

void CandumpLogFormatWriter::Write(const CANframe& frame, FILE* out) {
    if (frame.type == FRAME_TEXT) return;
    std::fprintf(out, "(%010llu.%06llu) can%d ", Micros(frame.timestamp / 1000000),
                 Micros(frame.timestamp % 1000000), frame.port);
    if (frame.type == FRAME_ERROR) {
        WriteError(frame, out);
        return;
    }
    std::fprintf(out, frame.IsExtended() ? "%08X#" : "%03X#", frame.BareId());
    if (frame.type == FRAME_RTR) {
        std::fputc('R', out);
        if (frame.length > 0 && frame.length <= 8) std::fputc('0' + frame.length, out);
    } else {
        WriteBytes(frame, "", out);
    }
    std::fputc('\n', out);
}

void CandumpLogFormatWriter::WriteError(const CANframe& frame, FILE* out) {
    uint8_t data[8] = {};
    uint32_t classes = SocketCanFromErrorBits(frame.id, data) | kErrBusErrorClass;
    if (frame.length >= 2) {
        classes |= kErrCountersClass;
        data[6] = frame.data[0];
        data[7] = frame.data[1];
    }
    std::fprintf(out, "%08X#", kErrFlag | classes);
    for (uint8_t b : data) std::fprintf(out, "%02X", b);
    std::fputc('\n', out);
}
