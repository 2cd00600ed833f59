#include "decode/data_types.h"

#include <algorithm>
#include <iterator>

namespace {

using K = DataType::Kind;

// By number.
constexpr DataType kDataTypes[] = {
    {0x01, "BOOLEAN", K::kBoolean, 1},
    {0x02, "INTEGER8", K::kSigned, 8},
    {0x03, "INTEGER16", K::kSigned, 16},
    {0x04, "INTEGER32", K::kSigned, 32},
    {0x05, "UNSIGNED8", K::kUnsigned, 8},
    {0x06, "UNSIGNED16", K::kUnsigned, 16},
    {0x07, "UNSIGNED32", K::kUnsigned, 32},
    {0x08, "REAL32", K::kReal, 32},
    {0x09, "VISIBLE_STRING", K::kVisibleString, 0},
    {0x0A, "OCTET_STRING", K::kOctetString, 0},
    {0x0B, "UNICODE_STRING", K::kUnicodeString, 0},
    {0x0C, "TIME_OF_DAY", K::kTime, 48},
    {0x0D, "TIME_DIFFERENCE", K::kTime, 48},
    {0x0F, "DOMAIN", K::kDomain, 0},
    {0x10, "INTEGER24", K::kSigned, 24},
    {0x11, "REAL64", K::kReal, 64},
    {0x12, "INTEGER40", K::kSigned, 40},
    {0x13, "INTEGER48", K::kSigned, 48},
    {0x14, "INTEGER56", K::kSigned, 56},
    {0x15, "INTEGER64", K::kSigned, 64},
    {0x16, "UNSIGNED24", K::kUnsigned, 24},
    {0x18, "UNSIGNED40", K::kUnsigned, 40},
    {0x19, "UNSIGNED48", K::kUnsigned, 48},
    {0x1A, "UNSIGNED56", K::kUnsigned, 56},
    {0x1B, "UNSIGNED64", K::kUnsigned, 64},
};

}  // namespace

const DataType* FindDataType(int number) {
    const auto* end = std::end(kDataTypes);
    const auto* row = std::lower_bound(std::begin(kDataTypes), end, number,
                                       [](const DataType& t, int n) { return t.number < n; });
    return row != end && row->number == number ? row : nullptr;
}
