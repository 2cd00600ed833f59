#pragma once

#include <cstdint>

// An SDO abort code and its description, which starts with a blank and is in brackets.
struct SdoAbortCode {
    uint32_t code;
    const char* text;
};

constexpr int kNumSdoAbortCodes = 29;
// By ascending code.
extern const SdoAbortCode sdoAbortCodes[kNumSdoAbortCodes];
