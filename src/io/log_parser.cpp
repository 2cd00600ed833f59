#include "io/log_parser.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxTokens = 30;
constexpr size_t kMaxLine = 1000;

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// A whole token read as strtoul with base 0 does (strtol when it begins with "-").
bool ReadNumber(const char* token, unsigned long* value) {
    char* end;
    if (*token == '-')
        *value = static_cast<unsigned long>(std::strtol(token, &end, 0));
    else
        *value = std::strtoul(token, &end, 0);
    return end != token && *end == '\0';
}

}  // namespace

bool LogParserVexa::Parse(char* line, CANframe& frame) {
    // Split a copy of the line at white space, remembering where each token began in the line.
    char work[kMaxLine + 1];
    size_t len = strnlen(line, kMaxLine);
    std::memcpy(work, line, len);
    work[len] = '\0';
    const char* tokens[kMaxTokens];
    size_t offsets[kMaxTokens];
    int numTokens = 0;
    for (size_t i = 0; i < len && numTokens < kMaxTokens;) {
        while (i < len && IsSpace(work[i])) i++;
        if (i == len) break;
        tokens[numTokens] = work + i;
        offsets[numTokens++] = i;
        while (i < len && !IsSpace(work[i])) i++;
        work[i++] = '\0';
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

    const char* word = tokens[at];
    const char* p;
    int type;
    if (std::strncmp(word, "CAN", 3) == 0) {
        type = FRAME_DATA;
        p = word + 3;
    } else if (std::strncmp(word, "RTR", 3) == 0) {
        type = FRAME_RTR;
        p = word + 3;
    } else if (std::strncmp(word, "ERROR", 5) == 0) {
        type = FRAME_ERROR;
        p = word + 5;
    } else {
        goto text;
    }
    {
        unsigned long port = 0;
        if (std::isdigit(static_cast<unsigned char>(*p))) {
            char* end;
            port = std::strtoul(p, &end, 0);
            if (port > 255) goto text;
            p = end;
        }
        if (*p == '.') {
            if (p[1] != 'R' && p[1] != 'X') goto text;
            p += 2;
        }
        if (p[0] != ':' || p[1] != '\0') goto text;
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
    if (std::strcmp(tokens[at], "-") != 0) return false;
    if (++at >= numTokens) return true;
    if (type == FRAME_DATA && std::strncmp(tokens[at], "RMT", 3) == 0) {
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
    const char* from = line + (stamped ? offsets[1] : 0);
    size_t n = strnlen(from, kMaxLine);
    while (n > 0 && IsSpace(from[n - 1])) n--;
    frame.SetText(std::string(from, n).c_str());
    return true;
}
