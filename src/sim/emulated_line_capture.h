#pragma once

#include <cstdint>
#include <vector>

// How an emulated port's receive line follows its transmit line, and how the other nodes of its
// bus acknowledge. Delays in nanoseconds.
struct LineTiming {
    enum class Stuck { kNone, kHigh, kLow };

    int loopFallNs = 0;          // transmit falling edge to receive falling edge (transceiver loop)
    int loopRiseNs = 0;          // transmit rising edge to receive rising edge
    bool ack = false;            // another node acknowledges the port's frames
    int ackFallNs = 0;           // the ACK bit's falling edge after the start of the ACK slot
    int ackRiseNs = 0;           // its rising edge after the end of the ACK slot
    Stuck stuck = Stuck::kNone;  // a receive line that follows nothing
};

// What a type 1 card records while it transmits bits (FrameBits: start of frame to end of
// frame), one bit every cyclesPerBit periods of its clock (periodNs): every change of its
// transmit and receive levels as a 16-bit sample (time since the previous sample in periods
// minus 1 in bits 11-0, transmit level in bit 12, receive level in bit 13), stretches longer
// than the time field holds split, at most 1024. The receive line is the transmit
// line delayed by the loop delays, pulled dominant by the ACK during bit ackSlot (an index into
// bits; none when negative or timing.ack is false). Edges are seen at the first clock edge at
// or after them.
std::vector<uint16_t> CaptureLineSamples(const std::vector<uint8_t>& bits, int ackSlot,
                                         int cyclesPerBit, int periodNs, const LineTiming& timing);

// The five result words a measuring card returns for its bus analysis (words 1 to 5: status,
// receive falling delay, receive rising delay, ACK rising span, ACK falling position), the
// delays seen at its clock's period, bitTimeNs the length of one bit.
void MeasuredWords(const LineTiming& timing, int bitTimeNs, int periodNs, uint32_t words[5]);
