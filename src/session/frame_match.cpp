#include "session/frame_match.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "decode/parser.h"

namespace {

// The error a find's text raises.
constexpr int32_t kBadFind = ERR_FILTER;

// ASCII only, as the decoders write: no locale to ask per character of millions of
// descriptions.
char LowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), LowerChar);
    return s;
}

std::string Trimmed(const std::string& s) {
    std::string copy = s;
    TrimString(copy);
    return copy;
}

}  // namespace

FrameMatch FrameMatch::Parse(MatchField field, const std::string& typed) {
    FrameMatch match;
    match.field = field;
    const std::string text = Trimmed(typed);
    if (text.empty()) throw QuillonError(kBadFind, "Type what to find");
    switch (field) {
        case MatchField::kId: {
            size_t at = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
            at *= 2;
            uint64_t id = 0;
            for (size_t i = at; i < text.size(); i++) {
                const int digit = HexDigit(text[i]);
                if (digit < 0 || i - at >= 8)
                    throw QuillonError(
                        kBadFind,
                        Format("Not an identifier: \"%s\" (hex: 181, 0x181)", text.c_str()));
                id = id << 4 | static_cast<uint64_t>(digit);
            }
            if (id > kExtendedIdMask)
                throw QuillonError(
                    kBadFind, Format("Not an identifier: \"%s\" (above 1FFFFFFF)", text.c_str()));
            match.id = static_cast<uint32_t>(id);
            return match;
        }
        case MatchField::kData: {
            std::vector<int> tokens;
            for (size_t i = 0; i < text.size();) {
                const char c = text[i];
                const auto bad = [&](const char* why) {
                    return QuillonError(kBadFind,
                                        Format("Not a data pattern: \"%s\" at %zu: %s (40 ?? 10 *)",
                                               text.c_str(), i + 1, why));
                };
                if (IsSpace(c)) {
                    i++;
                } else if (c == '*') {
                    tokens.push_back(kAnyRun);
                    i++;
                } else if (c == '?') {
                    if (i + 1 >= text.size() || text[i + 1] != '?') throw bad("a lone ?");
                    tokens.push_back(kAnyByte);
                    i += 2;
                } else if (HexDigit(c) >= 0) {
                    if (i + 1 >= text.size() || HexDigit(text[i + 1]) < 0)
                        throw bad("a byte takes two hex digits");
                    tokens.push_back(HexDigit(c) << 4 | HexDigit(text[i + 1]));
                    i += 2;
                } else {
                    throw bad("not a hex digit");
                }
            }
            match.SetPattern(tokens);
            return match;
        }
        case MatchField::kText:
            match.text = Lower(text);
            return match;
        case MatchField::kTime:
            break;
    }
    // Seconds, with or without their s.
    const bool suffixed = text.back() == 's' || text.back() == 'S';
    return AtTime(ParseGoTo(suffixed ? text : text + "s").micros);
}

FrameMatch FrameMatch::AtTime(uint64_t micros) {
    FrameMatch match;
    match.field = MatchField::kTime;
    match.micros = micros;
    return match;
}

void FrameMatch::SetPattern(const std::vector<int>& tokens) {
    anchored = !tokens.empty() && tokens[0] != kAnyRun;
    Segment segment;
    for (size_t t = 0; t <= tokens.size(); t++) {
        if (t == tokens.size() || tokens[t] == kAnyRun) {
            if (segment.length > 0) segments.push_back(segment);
            segment = Segment();
            continue;
        }
        if (segment.length < 8 && tokens[t] != kAnyByte) {
            segment.mask |= uint64_t{0xFF} << 8 * segment.length;
            segment.value |= static_cast<uint64_t>(tokens[t]) << 8 * segment.length;
        }
        segment.length++;
    }
}

bool FrameMatch::DataMatches(const uint8_t* data, int length) const {
    length = std::min(length, 8);  // a malformed length holds no more bytes
    if (length <= 0) return segments.empty();
    // The bytes in the word's order (data[0] lowest), those past length cleared.
    uint64_t word;
    std::memcpy(&word, data, sizeof word);
    if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) word = __builtin_bswap64(word);
    if (length < 8) word &= (uint64_t{1} << 8 * length) - 1;
    // Each segment at the first place it fits after the one before (the first segment at the
    // first byte when anchored): no later place would leave more room to those after it.
    int at = 0;
    for (size_t s = 0; s < segments.size(); s++) {
        const Segment& segment = segments[s];
        const int last = s == 0 && anchored ? 0 : length - segment.length;
        while (at <= last && ((word >> 8 * at) & segment.mask) != segment.value) at++;
        if (at > last || segment.length > length) return false;
        at += segment.length;
    }
    return true;
}

bool FrameMatch::Matches(const CANframe& frame, Parser* decoder) const {
    switch (field) {
        case MatchField::kId:
            return (frame.type == FRAME_DATA || frame.type == FRAME_RTR) && frame.BareId() == id;
        case MatchField::kData:
            return frame.type == FRAME_DATA && DataMatches(frame.data, frame.length);
        case MatchField::kText: {
            if (!decoder) return false;
            CANframe copy = frame;  // the decoder may raise its status
            const std::string desc = decoder->GetShortDesc(copy);
            // text is lower case already; the description is compared without a copy.
            return std::search(desc.begin(), desc.end(), text.begin(), text.end(),
                               [](char d, char t) { return LowerChar(d) == t; }) != desc.end();
        }
        case MatchField::kTime:
            return !frame.unstamped && frame.timestamp >= micros;
    }
    return false;
}

GoToTarget ParseGoTo(const std::string& typed) {
    const std::string shown = Trimmed(typed);
    std::string text = shown;
    GoToTarget target;
    const auto bad = [&] {
        return QuillonError(
            kBadFind,
            Format("Not a message number or a time: \"%s\" (#1234, 12.5s)", shown.c_str()));
    };
    if (!text.empty() && (text.back() == 's' || text.back() == 'S')) {
        target.time = true;
        text.pop_back();
        TrimString(text);
        char* end = nullptr;
        errno = 0;
        const double seconds = text.empty() ? -1 : std::strtod(text.c_str(), &end);
        if (errno || seconds < 0 || !std::isfinite(seconds) || *end || seconds > 1e12) throw bad();
        target.micros = static_cast<uint64_t>(std::llround(seconds * 1e6));
        return target;
    }
    if (!text.empty() && text[0] == '#') text.erase(0, 1);
    TrimString(text);
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        throw bad();
    target.number = std::strtoll(text.c_str(), nullptr, 10);
    return target;
}
