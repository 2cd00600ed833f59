#pragma once

#include <cstdint>
#include <vector>

#include "hw/bus_stats.h"

// The line samples a type 1 card records during a bus analysis: each a change of its transmit
// and receive levels. Bits 11-0: the time since the previous sample in sample periods, minus 1;
// bit 12: the transmit level, bit 13: the receive level from this sample on (1 recessive).
constexpr uint16_t kSampleTime = 0x0FFF;
constexpr uint16_t kSampleTx = 1u << 12;
constexpr uint16_t kSampleRx = 1u << 13;
// How many samples the card holds.
constexpr size_t kMaxLineSamples = 1024;

// Finds a frame on the transmit line of samples (spb samples per bit) and measures the delays of
// the receive line and the ACK from it. Every falling transmit edge is tried as the start of
// frame until one gives a frame with a matching CRC-15; false when none does. The delays come
// out in nanoseconds (samples times periodNs); status and the bit time are left as they are.
// stuckHigh and stuckLow tell whether the receive line stayed recessive or dominant throughout
// the frame.
bool DecodeLineSamples(const std::vector<uint16_t>& samples, int spb, double periodNs,
                       CanBusStats* stats, bool* stuckHigh, bool* stuckLow);
