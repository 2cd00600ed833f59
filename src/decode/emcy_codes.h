#pragma once

#include <cstdint>

// One row of an emergency-code table: a 16-bit code and its name.
struct EmcyCode {
    uint16_t code;
    const char* text;
};

constexpr uint32_t kNumStdEmcyCodes = 193;
// The standard codes, in ascending order.
extern const EmcyCode stdEmcyCodes[kNumStdEmcyCodes];
