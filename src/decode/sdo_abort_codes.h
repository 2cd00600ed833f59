#pragma once

#include <cstdint>

// An SDO abort code and its description, which starts with a blank and is in brackets.
struct SdoAbortCode {
    uint32_t code;
    const char* text;
};

// The codes the program gives itself (its simulated SDO client and server), by name.
enum SdoAbort : uint32_t {
    kAbortToggle = 0x05030000,
    kAbortTimeout = 0x05040000,
    kAbortCommand = 0x05040001,
    kAbortSequence = 0x05040003,
    kAbortCrc = 0x05040004,
    kAbortReadOnly = 0x06010002,
    kAbortNoObject = 0x06020000,
    kAbortLength = 0x06070010,
};

constexpr int kNumSdoAbortCodes = 29;
// By ascending code.
extern const SdoAbortCode sdoAbortCodes[kNumSdoAbortCodes];
// The description of code (" (...)"), or "" for a code without one.
const char* SdoAbortText(uint32_t code);
