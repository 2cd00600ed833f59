#include "io/foreign_log.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "base/utils.h"

bool ForeignLogParser::Word::Is(const char* s) const {
    return std::strlen(s) == n && std::memcmp(p, s, n) == 0;
}

bool ForeignLogParser::Word::IsNoCase(const char* s) const {
    return std::strlen(s) == n && strncasecmp(p, s, n) == 0;
}

int ForeignLogParser::Split(const char* line) {
    int count = 0;
    const char* p = line;
    while (count < kMaxWords) {
        while (IsSpace(*p)) p++;
        if (!*p) break;
        const char* start = p;
        while (*p && !IsSpace(*p)) p++;
        words[count++] = {start, static_cast<size_t>(p - start)};
    }
    return count;
}

bool ForeignLogParser::Hex(const Word& w, uint32_t* value) {
    if (w.n == 0 || w.n > 8) return false;
    uint32_t v = 0;
    for (size_t i = 0; i < w.n; i++) {
        const int d = HexDigit(w.p[i]);
        if (d < 0) return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    *value = v;
    return true;
}

bool ForeignLogParser::Decimal(const Word& w, uint32_t* value) {
    if (w.n == 0 || w.n > 9) return false;
    uint32_t v = 0;
    for (size_t i = 0; i < w.n; i++) {
        if (w.p[i] < '0' || w.p[i] > '9') return false;
        v = v * 10 + static_cast<uint32_t>(w.p[i] - '0');
    }
    *value = v;
    return true;
}

bool ForeignLogParser::Fixed(const Word& w, int decimals, uint64_t* value) {
    size_t i = 0;
    uint64_t v = 0;
    for (; i < w.n && w.p[i] >= '0' && w.p[i] <= '9'; i++) {
        if (i >= 12) return false;  // beyond any time stamp a log holds
        v = v * 10 + static_cast<uint64_t>(w.p[i] - '0');
    }
    if (i == 0) return false;
    int taken = 0;
    if (i < w.n) {
        if (w.p[i++] != '.') return false;
        for (; i < w.n; i++) {
            if (w.p[i] < '0' || w.p[i] > '9') return false;
            if (taken < decimals) {
                v = v * 10 + static_cast<uint64_t>(w.p[i] - '0');
                taken++;
            }
        }
    }
    for (; taken < decimals; taken++) v *= 10;
    *value = v;
    return true;
}

uint64_t ForeignLogParser::FrameTime(uint64_t micros) {
    if (!started) {
        started = true;
        first = micros;
    }
    return LineTime(micros);
}

uint64_t ForeignLogParser::LineTime(uint64_t micros) const {
    return started && micros > first ? micros - first : 0;
}

void ForeignLogParser::SetData(CANframe& frame, int n, const uint8_t* data, const char* kind) {
    if (n <= 8) {
        std::memcpy(frame.data, data, static_cast<size_t>(n));
        frame.length = n;
        return;
    }
    std::string text = std::string(kind) + " with " + std::to_string(n) + " data bytes:";
    for (int i = 0; i < n; i++) {
        text += ' ';
        text += HexChar(data[i] >> 4);
        text += HexChar(data[i]);
    }
    frame.length = 0;
    frame.SetText(text.c_str());
    oversized = true;
}

void ForeignLogParser::SetId(CANframe& frame, uint32_t id, bool extended) {
    frame.extended = extended;
    frame.id = extended ? (id & kExtendedIdMask) | kExtendedMark : id & kStandardIdMask;
}

void ForeignLogParser::SetTrimmedText(CANframe& frame, const char* line) {
    size_t n = std::strlen(line);
    while (n > 0 && IsSpace(line[n - 1])) n--;
    frame.SetText(std::string(line, n).c_str());
}

void ForeignLogParser::Comment(CANframe& frame, const char* line) {
    frame.Reset(false);
    SetTrimmedText(frame, line);
    frame.unstamped = 1;
}

bool ForeignLogParser::ChannelPort(const Word& w, CANframe& frame) {
    uint32_t channel;
    if (!Decimal(w, &channel) || channel < 1 || channel > 256) return false;
    frame.port = static_cast<uint8_t>(channel - 1);
    return true;
}

bool ForeignLogFormatWriter::Carries(const CANframe& frame) const {
    return frame.IdFits();
}

int ForeignLogFormatWriter::Length(const CANframe& frame) {
    return frame.length < 0 ? 0 : frame.length > 8 ? 8 : frame.length;
}

void ForeignLogFormatWriter::WriteBytes(const CANframe& frame, const char* separator, FILE* out) {
    for (int i = 0; i < Length(frame); i++) std::fprintf(out, "%s%02X", separator, frame.data[i]);
}

void ForeignLogFormatWriter::WriteComment(const CANframe& frame, const char* marker,
                                          const char* separator, FILE* out) {
    if (!frame.text) return;
    const bool marked = std::strncmp(frame.text, marker, std::strlen(marker)) == 0;
    std::fprintf(out, "%s%s%s\n", marked ? "" : marker, marked ? "" : separator, frame.text);
}
