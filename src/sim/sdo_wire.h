#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The eight data bytes of an SDO frame, in either direction.
using SdoPayload = std::array<uint8_t, 8>;

// Abort codes of CiA 301 that the simulated client and server give.
enum SdoAbort : uint32_t {
    kAbortToggle = 0x05030000,    // toggle bit not alternated
    kAbortTimeout = 0x05040000,   // SDO protocol timed out
    kAbortCommand = 0x05040001,   // command specifier not valid or unknown
    kAbortSequence = 0x05040003,  // invalid sequence number (block mode)
    kAbortCrc = 0x05040004,       // CRC error (block mode)
    kAbortReadOnly = 0x06010002,  // attempt to write a read only object
    kAbortNoObject = 0x06020000,  // object does not exist in the object dictionary
    kAbortLength = 0x06070010,    // length of service parameter does not match
};

// The CRC of block transfers: CRC-16 with polynomial 0x1021 and initial value 0, most
// significant bit first (CiA 301 7.2.4.3.16).
uint16_t SdoBlockCrc(const uint8_t* data, size_t size);

// An abort transfer request for the object key (index << 16 | sub-index).
SdoPayload SdoAbortFrame(uint32_t key, uint32_t code);
// Bytes 1 to 3 of a payload: the object's index and sub-index.
void PutSdoKey(SdoPayload& payload, uint32_t key);
uint32_t GetSdoKey(const SdoPayload& payload);
void PutLe32(uint8_t* p, uint32_t value);
uint32_t GetLe32(const uint8_t* p);
