#include "base/utils.h"

#include <sys/stat.h>

#include <sys/time.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

uint64_t GetTime() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
}

uint16_t Build16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Build32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void Split32(uint32_t v, unsigned char* p) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

const char* binary(unsigned char value, unsigned char mask) {
    thread_local char text[9];
    for (int bit = 7, i = 0; bit >= 0; bit--, i++) {
        if (!(mask & (1 << bit)))
            text[i] = 'x';
        else
            text[i] = (value & (1 << bit)) ? '1' : '0';
    }
    text[8] = '\0';
    return text;
}

int32_t Round(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v >= 0 ? v + 0.5 : v - 0.5);
}

void TrimString(std::string& s) {
    size_t end = s.size();
    while (end > 0 && IsSpace(s[end - 1])) end--;
    size_t begin = 0;
    while (begin < end && IsSpace(s[begin])) begin++;
    s = s.substr(begin, end - begin);
}

char* TrimString(char* s) {
    rtrim(s);
    return ltrim(s);
}

char* ltrim(char* s) {
    while (IsSpace(*s)) s++;
    return s;
}

int rtrim(char* s) {
    size_t len = std::strlen(s);
    while (len > 0 && IsSpace(s[len - 1])) s[--len] = '\0';
    return static_cast<int>(len);
}

bool StrEmpty(const char* s) {
    for (; *s; s++)
        if (!IsSpace(*s)) return false;
    return true;
}

std::string Format(const char* format, ...) {
    char text[2000];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) text[0] = '\0';
    return text;
}

int32_t StrToInt(const char* s, bool* ok) {
    const char* p = s;
    while (IsSpace(*p)) p++;
    bool blank = *p == '\0';
    bool digits = false;
    bool overflow = false;
    int64_t value = 0;
    int32_t result;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        for (int d; (d = HexDigit(*p)) >= 0; p++) {
            digits = true;
            if (!overflow) value = value * 16 + d;
            if (value > UINT32_MAX) overflow = true;
        }
        result = static_cast<int32_t>(overflow ? UINT32_MAX : static_cast<uint32_t>(value));
    } else {
        bool negative = *p == '-';
        if (*p == '-' || *p == '+') p++;
        for (; *p >= '0' && *p <= '9'; p++) {
            digits = true;
            if (!overflow) value = value * 10 + (*p - '0');
            if (value > static_cast<int64_t>(INT32_MAX) + 1) overflow = true;
        }
        if (negative) value = -value;
        if (overflow || value > INT32_MAX) {
            overflow = true;
            value = negative ? INT32_MIN : INT32_MAX;
        }
        result = static_cast<int32_t>(value);
    }
    while (IsSpace(*p)) p++;
    if (ok) *ok = blank || (digits && !overflow && *p == '\0');
    return result;
}

int32_t StrToInt(const std::string& s, bool* ok) {
    return StrToInt(s.c_str(), ok);
}

const char* dirName(const char* path) {
    static char folder[500];
    std::snprintf(folder, sizeof folder, "%s", path);
    char* slash = std::strrchr(folder, '/');
    if (!slash) return nullptr;
    slash[1] = '\0';
    return folder;
}

bool IsRegularFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

FILE* OpenRegularFile(const char* path, const char* mode) {
    return IsRegularFile(path) ? std::fopen(path, mode) : nullptr;
}

size_t ByteOrderMarkAt(const char* text, size_t n) {
    return n >= kByteOrderMarkSize && std::memcmp(text, kByteOrderMark, kByteOrderMarkSize) == 0
               ? kByteOrderMarkSize
               : 0;
}

void SkipByteOrderMark(FILE* fp) {
    char head[kByteOrderMarkSize];
    const size_t got = std::fread(head, 1, sizeof head, fp);
    if (ByteOrderMarkAt(head, got) == 0) std::rewind(fp);
}
