#include "tools/element_option.h"

#include <sstream>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"

namespace {

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, ':')) parts.push_back(part);
    if (!text.empty() && text.back() == ':') parts.emplace_back();
    return parts;
}

// The number in text; otherwise the error what + text.
int32_t Number(const std::string& text, const char* what) {
    bool ok = false;
    const int32_t value = StrToInt(text, &ok);
    std::string trimmed = text;
    TrimString(trimmed);
    if (!ok || trimmed.empty()) throw QuillonError(ERR_FILTER, what + text);
    return value;
}

// The comparison code for text, or false when text is not a comparison.
bool Comparison(const std::string& text, int32_t* code) {
    static const char* const kTexts[] = {"<", "<=", "==", ">=", ">"};
    for (int32_t i = 0; i < 5; i++)
        if (text == kTexts[i]) {
            *code = i + FeObjID::kLess;
            return true;
        }
    return false;
}

// value, when it lies in first..last; otherwise the error that names the range.
int32_t InRange(int32_t value, int32_t first, int32_t last, const char* range,
                const std::string& text) {
    if (value < first || value > last) throw QuillonError(ERR_FILTER, std::string(range) + text);
    return value;
}

}  // namespace

std::unique_ptr<FilterElement> ParseElementOption(const std::string& text) {
    const std::vector<std::string> parts = Split(text);
    const std::string kind = parts.empty() ? "" : parts[0];
    if (kind == "id" && parts.size() == 3) {
        const uint32_t mask = Number(parts[1], "Unable to parse ID mask: ");
        const uint32_t value = Number(parts[2], "Unable to parse ID value: ");
        if ((value & mask) != value)
            throw QuillonError(ERR_FILTER,
                               "There are some bits set in the ID value field which are not set "
                               "in the ID mask.\nNo message could ever match this filter as "
                               "entered.");
        return std::make_unique<FeCanID>(value, mask);
    }
    if (kind == "obj" && parts.size() >= 2 && parts.size() <= 4) {
        // Elements that could never match are refused: objects are 16-bit indices with 8-bit
        // sub-indices, ports 0 to 255.
        const uint32_t index = InRange(Number(parts[1], "Unable to parse object ID: "), 0, 0xFFFF,
                                       "object ID must be 0 to 0xFFFF: ", parts[1]);
        std::vector<std::string> rest(parts.begin() + 2, parts.end());
        int32_t compare = FeObjID::kEqual;
        if (!rest.empty() && Comparison(rest.back(), &compare)) rest.pop_back();
        if (rest.size() <= 1) {
            int32_t subIndex = -1;
            if (!rest.empty() && rest[0] != "any")
                subIndex = InRange(Number(rest[0], "Unable to parse sub-id: "), 0, 0xFF,
                                   "sub-id must be 0 to 255: ", rest[0]);
            return std::make_unique<FeObjID>(index, subIndex, compare);
        }
    }
    if (kind == "port" && parts.size() == 2)
        return std::make_unique<FePort>(InRange(Number(parts[1], "Unable to parse port number: "),
                                                0, 255,
                                                "port number must be 0 to 255: ", parts[1]));
    throw QuillonError(ERR_FILTER, "Unable to parse filter element: " + text);
}
