#include "io/log_parser.h"

#include <climits>
#include <cstring>
#include <string>

#include "base/utils.h"

namespace {

constexpr size_t kMaxLine = 1000;
constexpr unsigned char kNoDigit = 99;

// Digit values of 0-9, a-z and A-Z; kNoDigit for every other character.
struct DigitTable {
    unsigned char value[256];
    constexpr DigitTable() : value() {
        for (int c = 0; c < 256; c++) value[c] = kNoDigit;
        for (int c = '0'; c <= '9'; c++) value[c] = static_cast<unsigned char>(c - '0');
        for (int c = 'a'; c <= 'z'; c++) value[c] = static_cast<unsigned char>(c - 'a' + 10);
        for (int c = 'A'; c <= 'Z'; c++) value[c] = static_cast<unsigned char>(c - 'A' + 10);
    }
};
constexpr DigitTable kDigits;

inline unsigned DigitValue(char c) {
    return kDigits.value[static_cast<unsigned char>(c)];
}

inline const char* SkipSpace(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) p++;
    return p;
}

inline bool TokenEnds(const char* p, const char* end) {
    return p == end || IsSpace(*p);
}

// Reads digits from p as strtoul with base 0 does; returns where it stopped. Overflow is told by
// the value before each digit, not by dividing for every digit.
inline const char* ReadDigits(const char* p, const char* end, unsigned long* value,
                              bool* overflow) {
    unsigned base = 10;
    if (*p == '0') {
        base = 8;
        if (end - p > 2 && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
            base = 16;
            p += 2;
        }
    }
    // One loop per base, so that the multiplications are shifts or by a constant.
    unsigned long v = 0;
    bool over = false;
    if (base == 16) {
        for (unsigned d; p < end && (d = DigitValue(*p)) < 16; p++) {
            over |= (v >> 60) != 0;
            v = v << 4 | d;
        }
    } else if (base == 8) {
        for (unsigned d; p < end && (d = DigitValue(*p)) < 8; p++) {
            over |= (v >> 61) != 0;
            v = v << 3 | d;
        }
    } else {
        for (unsigned d; p < end && (d = static_cast<unsigned char>(*p) - '0') < 10; p++) {
            over |= __builtin_mul_overflow(v, 10UL, &v);
            over |= __builtin_add_overflow(v, d, &v);
        }
    }
    *overflow = over;
    *value = over ? ULONG_MAX : v;
    return p;
}

// The token at p (not white space) as a number, the way strtoul with base 0 reads it (strtol for
// a leading "-"); the end of the token, or null when the whole token is no number.
inline const char* ReadNumber(const char* p, const char* end, unsigned long* value) {
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') p++;
    if (p == end || DigitValue(*p) >= 10) return nullptr;
    bool overflow;
    p = ReadDigits(p, end, value, &overflow);
    if (!TokenEnds(p, end)) return nullptr;
    if (negative)  // strtol: saturates at LONG_MIN
        *value = overflow || *value > static_cast<unsigned long>(LONG_MAX) + 1
                     ? static_cast<unsigned long>(LONG_MIN)
                     : 0UL - *value;
    return p;
}

inline bool Begins(const char* p, const char* end, const char* word, size_t n) {
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, word, n) == 0;
}

// One pass over [line, end): each token is classified and converted where it stands.
bool ParseRange(const char* line, const char* end, CANframe& frame) {
    const char* p = SkipSpace(line, end);
    if (p == end) return false;

    frame.Reset(false);
    unsigned long value;
    const char* word = p;  // the frame word
    const char* after = ReadNumber(p, end, &value);
    const bool stamped = after != nullptr;
    if (stamped) {
        // The whole number, for files of any length; a negative one, or one beyond 2^63 (which no
        // writer of this format writes), reads as its low 32 bits always did.
        frame.timestamp = static_cast<long>(value) < 0 ? static_cast<uint32_t>(value) : value;
        word = SkipSpace(after, end);
        if (word == end) return false;
    }

    int type;
    p = word;
    if (Begins(p, end, "CAN", 3)) {
        type = FRAME_DATA;
        p += 3;
    } else if (Begins(p, end, "RTR", 3)) {
        type = FRAME_RTR;
        p += 3;
    } else if (Begins(p, end, "ERROR", 5)) {
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
        if (p == end || *p != ':' || !TokenEnds(p + 1, end)) goto text;
        frame.type = type;
        frame.port = static_cast<uint8_t>(port);
        p++;
    }

    p = SkipSpace(p, end);
    if (p == end) return type == FRAME_ERROR;
    p = ReadNumber(p, end, &value);
    if (!p) {
        frame.id = 0;
        return false;
    }
    frame.id = static_cast<uint32_t>(value);
    // An error frame's identifier holds its error bits.
    frame.extended = type != FRAME_ERROR && (frame.id & kExtendedMark) != 0;
    p = SkipSpace(p, end);
    if (p == end) return type != FRAME_DATA;
    if (*p != '-' || !TokenEnds(p + 1, end)) return false;
    p = SkipSpace(p + 1, end);
    if (p == end) return true;
    if (type == FRAME_DATA && Begins(p, end, "RMT", 3)) {
        frame.type = FRAME_RTR;
        return true;
    }
    {
        int n = 0;
        for (; p < end && n < 8; n++) {
            if (end - p >= 4 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
                DigitValue(p[2]) < 16 && DigitValue(p[3]) < 16 && TokenEnds(p + 4, end)) {
                // The writer's own form, 0x and two digits, read without the general path.
                frame.data[n] = static_cast<uint8_t>(DigitValue(p[2]) << 4 | DigitValue(p[3]));
                p += 4;
            } else {
                // The whole value must fit a byte: 0x100000001 is not the byte 1.
                p = ReadNumber(p, end, &value);
                if (!p || value > 255) return false;
                frame.data[n] = static_cast<uint8_t>(value);
            }
            p = SkipSpace(p, end);
        }
        frame.length = n;
        return p == end;
    }

text:
    // Not a frame: keep the line as text (after the time stamp, when it had one).
    const char* from = stamped ? word : line;
    size_t n = end - from;
    while (n > 0 && IsSpace(from[n - 1])) n--;
    frame.SetText(std::string(from, n).c_str());
    frame.unstamped = !stamped;
    return true;
}

}  // namespace

bool QuillonLogParser::Parse(char* line, CANframe& frame) {
    return ParseRange(line, line + strnlen(line, kMaxLine), frame);
}

bool QuillonLogParser::ParseLine(char* line, size_t n, CANframe& frame) {
    if (n > kMaxLine) n = kMaxLine;
    // A frame line holds no NUL: every character of it is checked. Whatever else a line gives
    // depends on where a NUL ends it, so only those lines are measured.
    const bool parsed = ParseRange(line, line + n, frame);
    if (parsed && frame.type != FRAME_TEXT) return true;
    const void* nul = std::memchr(line, 0, n);
    if (!nul) return parsed;
    return ParseRange(line, static_cast<const char*>(nul), frame);
}
