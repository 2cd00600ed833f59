#pragma once

#include <cstdint>
#include <vector>

#include "hw/bus_stats.h"

// Finds a frame on the transmit line of a type 1 card's line samples (spb samples per bit; their
// layout in the card protocol) and measures the delays of the receive line and the ACK from it.
// Every falling transmit edge is tried as the start of frame until one gives a frame with a
// matching CRC-15; false when none does. The delays come out in nanoseconds (samples times
// periodNs); status and the bit time are left as they are. stuckHigh and stuckLow tell whether
// the receive line stayed recessive or dominant throughout the frame.
bool DecodeLineSamples(const std::vector<uint16_t>& samples, int spb, double periodNs,
                       CanBusStats* stats, bool* stuckHigh, bool* stuckLow);
