#include "decode/value_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "base/utils.h"

namespace {

using Form = DecodedValue::Form;
using Kind = DataType::Kind;

// bits bits of the eight bytes of data from bit first (bit 0 of byte 0 first, little-endian);
// first + bits is at most 64.
uint64_t Bits(const uint8_t* data, int first, int bits) {
    uint64_t word = 0;
    for (int i = 7; i >= 0; i--) word = word << 8 | data[i];
    word >>= first;
    return bits >= 64 ? word : word & ((uint64_t(1) << bits) - 1);
}

bool IsNumber(Kind kind) {
    return kind == Kind::kBoolean || kind == Kind::kSigned || kind == Kind::kUnsigned ||
           kind == Kind::kReal;
}

// v's number from the raw bits of a number type of v.bits bits.
void SetNumber(uint64_t raw, const DataType& type, DecodedValue& v) {
    switch (type.kind) {
        case Kind::kSigned:
            v.form = Form::kSigned;
            v.number = v.bits < 64 && (raw >> (v.bits - 1) & 1)
                           ? static_cast<int64_t>(raw | ~uint64_t(0) << v.bits)
                           : static_cast<int64_t>(raw);
            return;
        case Kind::kReal:
            v.form = Form::kReal;
            if (v.bits == 32) {
                const uint32_t word = static_cast<uint32_t>(raw);
                float f;
                std::memcpy(&f, &word, sizeof f);
                v.real = f;
            } else {
                std::memcpy(&v.real, &raw, sizeof v.real);
            }
            return;
        default:
            v.form = Form::kUnsigned;
            v.unsignedNumber = raw;
    }
}

void SetBytes(const uint8_t* bytes, size_t n, const DataType* type, DecodedValue& v) {
    v.form = Form::kText;
    v.quoted = type && type->kind == Kind::kVisibleString;
    if (v.quoted)
        v.text.assign(bytes, std::find(bytes, bytes + n, 0));
    else
        v.text = HexBytes(bytes, n);
}

template <typename Number>
void AppendNumber(std::string& out, Number n) {
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, n).ptr);
}

// "0x" and the number in lower-case hex of digits digits at least.
void AppendHex(std::string& out, uint64_t n, int digits) {
    char text[16];
    const char* end = std::to_chars(text, text + sizeof text, n, 16).ptr;
    out += "0x";
    out.append(static_cast<size_t>(std::max(0, digits - static_cast<int>(end - text))), '0');
    out.append(text, static_cast<size_t>(end - text));
}

}  // namespace

std::string HexBytes(const uint8_t* bytes, size_t n) {
    std::string text;
    for (size_t i = 0; i < n; i++) {
        if (i) text += ' ';
        text += LowerHexChar(bytes[i] >> 4);
        text += LowerHexChar(bytes[i]);
    }
    return text;
}

void ReadBitsValue(const uint8_t* data, const DataType& type, DecodedValue& v) {
    if (IsNumber(type.kind)) return SetNumber(Bits(data, v.firstBit, v.bits), type, v);
    // Strings and bytes: whole bytes, possibly off byte boundaries.
    std::vector<uint8_t> bytes(static_cast<size_t>(v.bits / 8));
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = static_cast<uint8_t>(Bits(data, v.firstBit + 8 * static_cast<int>(i), 8));
    SetBytes(bytes.data(), bytes.size(), &type, v);
}

void ReadBytesValue(const uint8_t* bytes, size_t count, uint32_t size, const DataType* type,
                    DecodedValue& v) {
    v.firstBit = 0;
    v.bits = static_cast<int>(std::min<uint64_t>(uint64_t(size) * 8, INT32_MAX));
    if (type && IsNumber(type->kind) && type->kind != Kind::kBoolean &&
        uint64_t(size) * 8 == static_cast<uint64_t>(type->bits) && count == size) {
        uint64_t raw = 0;
        for (size_t i = count; i-- > 0;) raw = raw << 8 | bytes[i];
        return SetNumber(raw, *type, v);
    }
    SetBytes(bytes, count, type, v);
}

void AppendShortText(std::string& out, const DecodedValue& v) {
    switch (v.form) {
        case Form::kSigned:
            return AppendNumber(out, v.number);
        case Form::kUnsigned:
            if (v.bits >= 16) return AppendHex(out, v.unsignedNumber, (v.bits + 3) / 4);
            return AppendNumber(out, v.unsignedNumber);
        case Form::kReal:
            out += Format("%g", v.real);
            return;
        case Form::kText:
            if (!v.quoted) {
                out += v.text;
                return;
            }
            out += '"';
            out += v.text;
            out += '"';
            return;
        default:
            out += '?';
    }
}

std::string LongText(const DecodedValue& v) {
    std::string text;
    if (v.form == Form::kUnsigned && v.bits >= 16) {
        AppendNumber(text, v.unsignedNumber);
        text += " (";
        AppendHex(text, v.unsignedNumber, (v.bits + 3) / 4);
        text += ')';
    } else {
        AppendShortText(text, v);
    }
    return text;
}
