#include "plot/series_def.h"

#include <cerrno>
#include <cstdlib>

#include "base/utils.h"
#include "decode/cob_ids.h"

namespace {

// A whole number in range, decimal or 0x-hexadecimal.
bool Number(const std::string& text, unsigned long long max, unsigned long long* out) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    errno = 0;
    char* end;
    *out = std::strtoull(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0' && *out <= max;
}

// Splits off "@PORT" at the end.
bool TakePort(std::string& text, int* port, std::string* error) {
    const size_t at = text.rfind('@');
    if (at == std::string::npos) return true;
    unsigned long long n;
    if (!Number(text.substr(at + 1), 255, &n)) {
        *error = "port must be 0 to 255: " + text.substr(at + 1);
        return false;
    }
    *port = static_cast<int>(n);
    text.erase(at);
    return true;
}

}  // namespace

bool SeriesDef::Parse(const std::string& given, SeriesDef* def, std::string* error) {
    SeriesDef s;
    std::string text = given;
    if (text.rfind("load:", 0) == 0) {
        unsigned long long n;
        if (!Number(text.substr(5), 255, &n)) {
            *error = "load:PORT needs a port 0 to 255: " + given;
            return false;
        }
        s.kind = Kind::kLoad;
        s.port = static_cast<int>(n);
    } else if (text.rfind("rate:", 0) == 0) {
        text.erase(0, 5);
        if (!TakePort(text, &s.port, error)) return false;
        unsigned long long n;
        s.kind = Kind::kRate;
        if (text == "all") {
            s.anyId = true;
        } else if (Number(text, kExtendedIdMask, &n)) {
            // Beyond 11 bits, or written with eight digits: a 29-bit identifier.
            const bool extended = n > kStandardIdMask || text.size() == 10;
            s.id = static_cast<uint32_t>(n) | (extended ? kExtendedMark : 0);
        } else {
            *error = "rate:ID needs an identifier 0 to 0x1FFFFFFF or all: " + given;
            return false;
        }
    } else if (text == "errors" || text.rfind("errors@", 0) == 0) {
        text.erase(0, 6);
        if (!TakePort(text, &s.port, error)) return false;
        s.kind = Kind::kErrors;
    } else {
        if (!TakePort(text, &s.port, error)) return false;
        const size_t first = text.find(':');
        const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
        unsigned long long node, index, sub = 0;
        if (first == std::string::npos || !Number(text.substr(0, first), 127, &node) || node == 0 ||
            !Number(text.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                       : second - first - 1),
                    0xFFFF, &index) ||
            (second != std::string::npos && !Number(text.substr(second + 1), 0xFF, &sub))) {
            *error =
                "a series is NODE:INDEX[:SUB][@PORT] (node 1 to 127), load:PORT, "
                "rate:ID[@PORT] or errors[@PORT]: " +
                given;
            return false;
        }
        s.kind = Kind::kObject;
        s.node = static_cast<int>(node);
        s.index = static_cast<uint16_t>(index);
        s.sub = static_cast<uint8_t>(sub);
    }
    *def = s;
    return true;
}

std::string SeriesDef::Text() const {
    const std::string at = port >= 0 ? Format("@%d", port) : "";
    switch (kind) {
        case Kind::kLoad:
            return Format("load:%d", port);
        case Kind::kRate:
            if (anyId) return "rate:all" + at;
            if (id & kExtendedMark) return Format("rate:0x%08X", id & ~kExtendedMark) + at;
            return Format("rate:0x%03X", id) + at;
        case Kind::kErrors:
            return "errors" + at;
        default:
            return Format("%d:0x%04X:%d", node, index, sub) + at;
    }
}

bool SeriesDef::Counts(const CANframe& frame) const {
    if (frame.type == FRAME_TEXT || !OnPort(frame)) return false;
    const bool error = frame.type == FRAME_ERROR;
    switch (kind) {
        case Kind::kLoad:
            return !error;
        case Kind::kRate:
            return !error && (anyId || frame.MarkedId() == id);
        case Kind::kErrors:
            return error ||
                   (frame.type == FRAME_DATA && CobId::Function(frame.id) == CobId::kEmcy &&
                    CobId::Node(frame.id) && frame.length >= 2 && (frame.data[0] | frame.data[1]));
        default:
            return false;
    }
}
