#pragma once

#include <cstdint>

// The basic data types of a CANopen object dictionary, by the number its "DataType" gives.
struct DataType {
    enum class Kind : uint8_t {
        kBoolean,
        kSigned,
        kUnsigned,
        kReal,
        kVisibleString,
        kOctetString,
        kUnicodeString,
        kTime,  // TIME_OF_DAY and TIME_DIFFERENCE: milliseconds and days
        kDomain,
    };

    uint16_t number;
    const char* name;  // "UNSIGNED16"
    Kind kind;
    int bits;  // the size a value of the type has; 0 for the types of any length
};

// Null for a number that names no basic type.
const DataType* FindDataType(int number);
