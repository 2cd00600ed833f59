#include "io/log_parser.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxTokens = 30;
constexpr size_t kMaxLine = 1000;

// White space as isspace sees it in the C locale.
inline bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

struct Token {
    const char* p;
    size_t n;
    bool Is(const char* s) const { return std::strlen(s) == n && std::memcmp(p, s, n) == 0; }
    bool Begins(const char* s) const {
        size_t len = std::strlen(s);
        return n >= len && std::memcmp(p, s, len) == 0;
    }
};

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// Reads digits from p as strtoul with base 0 does; returns where it stopped.
const char* ReadDigits(const char* p, const char* end, unsigned long* value, bool* overflow) {
    int base = 10;
    if (p < end && *p == '0') {
        base = 8;
        if (end - p > 2 && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
            base = 16;
            p += 2;
        }
    }
    unsigned long v = 0;
    *overflow = false;
    for (; p < end; p++) {
        int d = DigitValue(*p);
        if (d >= base) break;
        if (v > (ULONG_MAX - d) / base) *overflow = true;
        v = v * base + d;
    }
    *value = *overflow ? ULONG_MAX : v;
    return p;
}

// A whole token as a number, the way strtoul with base 0 reads it (strtol for a leading "-").
bool ReadNumber(const Token& t, unsigned long* value) {
    const char* p = t.p;
    const char* end = t.p + t.n;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) p++;
    if (p == end || DigitValue(*p) >= 10) return false;
    bool overflow;
    if (ReadDigits(p, end, value, &overflow) != end) return false;
    if (negative)  // strtol: saturates at LONG_MIN
        *value = overflow || *value > static_cast<unsigned long>(LONG_MAX) + 1
                     ? static_cast<unsigned long>(LONG_MIN)
                     : 0UL - *value;
    return true;
}

}  // namespace

bool LogParserVexa::Parse(char* line, CANframe& frame) {
    // Split the line at white space; the tokens point into it.
    const size_t len = strnlen(line, kMaxLine);
    Token tokens[kMaxTokens];
    int numTokens = 0;
    for (size_t i = 0; i < len && numTokens < kMaxTokens;) {
        while (i < len && IsSpace(line[i])) i++;
        if (i == len) break;
        size_t start = i;
        while (i < len && !IsSpace(line[i])) i++;
        tokens[numTokens++] = {line + start, i - start};
    }
    if (numTokens == 0) return false;

    frame.Reset(false);
    unsigned long value;
    int at = 0;  // the frame word
    const bool stamped = ReadNumber(tokens[0], &value);
    if (stamped) {
        frame.timestamp = static_cast<uint32_t>(value);
        if (numTokens < 2) return false;
        at = 1;
    }

    const Token& word = tokens[at];
    int type;
    const char* p = word.p;
    const char* end = word.p + word.n;
    if (word.Begins("CAN")) {
        type = FRAME_DATA;
        p += 3;
    } else if (word.Begins("RTR")) {
        type = FRAME_RTR;
        p += 3;
    } else if (word.Begins("ERROR")) {
        type = FRAME_ERROR;
        p += 5;
    } else {
        goto text;
    }
    {
        unsigned long port = 0;
        if (p < end && *p >= '0' && *p <= '9') {
            bool overflow;
            p = ReadDigits(p, end, &port, &overflow);
            if (port > 255) goto text;
        }
        if (p < end && *p == '.') {
            if (end - p < 2 || (p[1] != 'R' && p[1] != 'X')) goto text;
            p += 2;
        }
        if (end - p != 1 || *p != ':') goto text;
        frame.type = type;
        frame.port = static_cast<uint8_t>(port);
    }

    if (++at >= numTokens) return type == FRAME_ERROR;
    if (!ReadNumber(tokens[at], &value)) {
        frame.id = 0;
        return false;
    }
    frame.id = static_cast<uint32_t>(value);
    if (++at >= numTokens) return type != FRAME_DATA;
    if (!tokens[at].Is("-")) return false;
    if (++at >= numTokens) return true;
    if (type == FRAME_DATA && tokens[at].Begins("RMT")) {
        frame.type = FRAME_RTR;
        return true;
    }
    {
        int n = 0;
        for (; at < numTokens && n < 8; at++, n++) {
            // The whole value must fit a byte: 0x100000001 is not the byte 1.
            if (!ReadNumber(tokens[at], &value) || value > 255) return false;
            frame.data[n] = static_cast<uint8_t>(value);
        }
        frame.length = n;
        return at == numTokens;
    }

text:
    // Not a frame: keep the line as text (after the time stamp, when it had one).
    const char* from = stamped ? tokens[1].p : line;
    size_t n = len - (from - line);
    while (n > 0 && IsSpace(from[n - 1])) n--;
    frame.SetText(std::string(from, n).c_str());
    frame.unstamped = !stamped;
    return true;
}
