#include "sim/eds_values.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/quillon_error.h"
#include "base/utils.h"

namespace {

// Bytes of the fixed-size basic types of CiA 301 by DataType; 0 for the others.
int TypeSize(uint16_t dataType) {
    switch (dataType) {
        case 0x01:
        case 0x02:
        case 0x05:
            return 1;
        case 0x03:
        case 0x06:
            return 2;
        case 0x10:
        case 0x16:
            return 3;
        case 0x04:
        case 0x07:
        case 0x08:
            return 4;
        case 0x12:
        case 0x18:
            return 5;
        case 0x13:
        case 0x19:
            return 6;
        case 0x14:
        case 0x1A:
            return 7;
        case 0x11:
        case 0x15:
        case 0x1B:
            return 8;
        default:
            return 0;
    }
}

// "$NODEID+0x180", "0x180+$NODEID" or a plain number.
uint64_t ParseNumber(std::string text, int nodeId) {
    uint64_t add = 0;
    const size_t at = [&] {
        for (size_t i = 0; i + 7 <= text.size(); ++i)
            if (strncasecmp(text.c_str() + i, "$NODEID", 7) == 0) return i;
        return std::string::npos;
    }();
    if (at != std::string::npos) {
        add = static_cast<uint64_t>(nodeId);
        text.erase(at, 7);
        for (char& c : text)
            if (c == '+') c = ' ';
    }
    TrimString(text);
    const bool negative = !text.empty() && text[0] == '-';
    const uint64_t magnitude = std::strtoull(text.c_str() + (negative ? 1 : 0), nullptr, 0);
    return (negative ? ~magnitude + 1 : magnitude) + add;
}

// Bytes of a value of dataType written as text in an EDS file; none for a fixed-size type of
// unknown size.
std::vector<uint8_t> Encode(uint16_t dataType, const std::string& text, int nodeId) {
    if (dataType == 0x09 || dataType == 0x0A || dataType == 0x0F)
        return std::vector<uint8_t>(text.begin(), text.end());
    const int size = TypeSize(dataType);
    uint64_t value;
    if (dataType == 0x08) {
        const float f = std::strtof(text.c_str(), nullptr);
        uint32_t raw;
        std::memcpy(&raw, &f, sizeof raw);
        value = raw;
    } else if (dataType == 0x11) {
        const double d = std::strtod(text.c_str(), nullptr);
        std::memcpy(&value, &d, sizeof value);
    } else {
        value = ParseNumber(text, nodeId);
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}

}  // namespace

uint64_t ObjValue::Number() const {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i) value |= uint64_t{bytes[i]} << (8 * i);
    return value;
}

void ObjValue::SetNumber(uint64_t value) {
    for (size_t i = 0; i < bytes.size() && i < 8; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

std::map<uint32_t, ObjValue> EdsValues::Load(const std::string& path, int nodeId) {
    std::ifstream in(path);
    if (!IsRegularFile(path.c_str()) || !in) throw QuillonError(12, "Unable to open file " + path);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return Parse(all.substr(ByteOrderMarkAt(all.data(), all.size())), nodeId);
}

std::map<uint32_t, ObjValue> EdsValues::Parse(const std::string& text, int nodeId) {
    struct Entry {
        uint16_t dataType = 0;
        bool typed = false;
        bool writable = false;
        std::string value;
    };
    std::map<uint32_t, Entry> entries;
    Entry* current = nullptr;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        TrimString(line);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            // Object sections: [XXXX] and [XXXXsubY], everything else is skipped.
            unsigned index = 0, sub = 0;
            char tail = 0;
            current = nullptr;
            bool hex = line.size() >= 6;
            for (size_t i = 1; hex && i <= 4; ++i)
                hex = std::isxdigit(static_cast<unsigned char>(line[i])) != 0;
            if (hex && std::sscanf(line.c_str(), "[%4x%c", &index, &tail) == 2) {
                if (tail == ']' && line.size() == 6) {
                    current = &entries[index << 16];
                } else if (std::sscanf(line.c_str() + 5, "sub%x]", &sub) == 1 ||
                           std::sscanf(line.c_str() + 5, "SUB%x]", &sub) == 1) {
                    current = &entries[index << 16 | (sub & 0xFF)];
                }
            }
            continue;
        }
        const size_t eq = line.find('=');
        if (!current || eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        TrimString(key);
        TrimString(value);
        if (strcasecmp(key.c_str(), "DataType") == 0) {
            current->dataType = static_cast<uint16_t>(std::strtoul(value.c_str(), nullptr, 0));
            current->typed = true;
        } else if (strcasecmp(key.c_str(), "DefaultValue") == 0) {
            current->value = value;
        } else if (strcasecmp(key.c_str(), "AccessType") == 0) {
            current->writable =
                strcasecmp(value.c_str(), "rw") == 0 || strcasecmp(value.c_str(), "wo") == 0 ||
                strcasecmp(value.c_str(), "rww") == 0 || strcasecmp(value.c_str(), "rwr") == 0;
        }
    }
    std::map<uint32_t, ObjValue> values;
    for (const auto& [key, entry] : entries) {
        if (!entry.typed) continue;
        ObjValue value;
        value.dataType = entry.dataType;
        value.writable = entry.writable;
        value.bytes = Encode(entry.dataType, entry.value, nodeId);
        if (value.bytes.empty() && !value.VariableSize()) continue;
        values[key] = std::move(value);
    }
    return values;
}
