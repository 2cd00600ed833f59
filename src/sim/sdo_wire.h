#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "decode/sdo_abort_codes.h"

// The eight data bytes of an SDO frame, in either direction.
using SdoPayload = std::array<uint8_t, 8>;

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
