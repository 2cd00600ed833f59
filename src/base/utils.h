#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Small shared helpers for bytes, text, numbers and time.

// Microseconds of the wall clock, in 64 bits (the cards stamp with its low 32, CardClock).
uint64_t GetTime();

// Little-endian byte access, as CAN payloads carry their numbers.
uint16_t Build16(const unsigned char* p);
uint32_t Build32(const unsigned char* p);
void Split32(uint32_t v, unsigned char* p);

// Eight characters, most significant bit first: the bit of value where mask has a 1, "x" elsewhere.
// Returns a buffer of the calling thread that its next call overwrites.
const char* binary(unsigned char value, unsigned char mask);

// Rounds half away from zero, saturating at the limits of a 32-bit int; NaN gives 0.
int32_t Round(double v);

void TrimString(std::string& s);
// Cuts trailing white space in place and returns a pointer to the first other character.
char* TrimString(char* s);
char* ltrim(char* s);
// Cuts trailing white space in place and returns the new length.
int rtrim(char* s);
bool StrEmpty(const char* s);

// printf-style formatting; the result is cut at 1999 characters.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Decimal, or hexadecimal after "0x"/"0X", with white space around it. *ok tells whether nothing
// but white space follows the number; blank text is 0 and ok. A number beyond 32 bits is not
// ok and saturates (decimal at the int32 limits, hexadecimal at 0xFFFFFFFF).
int32_t StrToInt(const char* s, bool* ok = nullptr);
int32_t StrToInt(const std::string& s, bool* ok = nullptr);
// White space as isspace sees it in the C locale. Inline: log parsers call it per character.
inline bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
// The value of hexadecimal digit c, or -1 when it is none. Inline: log readers call it per digit.
inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The hexadecimal digit of v, 0 to 15, in upper case, and in lower case.
inline char HexChar(unsigned v) {
    return "0123456789ABCDEF"[v & 15];
}
inline char LowerHexChar(unsigned v) {
    return "0123456789abcdef"[v & 15];
}

// Whether path names a regular file. Reading anything else (a device such as /dev/urandom, a
// FIFO, a folder) could block or never end, so readers of files refuse it.
bool IsRegularFile(const char* path);
// fopen(path, mode) for a regular file; null for anything else.
FILE* OpenRegularFile(const char* path, const char* mode);
// The UTF-8 byte-order mark that editors on some systems put before the first line of a text.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkSize = sizeof kByteOrderMark - 1;
// The number of bytes of a byte-order mark at the start of text (n bytes): 0 or the mark's size.
size_t ByteOrderMarkAt(const char* text, size_t n);
// Moves fp, just opened, past a byte-order mark at its start; it stays at the start otherwise.
void SkipByteOrderMark(FILE* fp);

// The folder part of path, up to and including its last "/", in a static buffer of 500
// characters (GUI thread only); null when path holds no "/".
const char* dirName(const char* path);
