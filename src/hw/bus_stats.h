#pragma once

#include <cstdint>
#include <string>

// One bus analysis: the delays of a port's receive line and of the other nodes' ACK bit, in
// nanoseconds.
struct CanBusStats {
    uint32_t status = 0;  // the card's status word; 0 from the software decoding
    double rxFall = 0;    // receive falling (recessive to dominant) edge after the transmit one
    double rxRise = 0;    // receive rising edge after the transmit one
    // The ACK bit's falling edge after the start of the ACK slot, plus one bit time.
    double ackFallPos = 0;
    // The ACK bit's rising edge after the start of the bit after the ACK slot, plus two bit
    // times, minus ackFallPos; 0 when no ACK was seen.
    double ackRiseSpan = 0;
    double bitTime = 0;
    double samplePoint = 0.8;  // fraction of the bit
};

// A measurement as the analyzer shows it: the figures, or why there are none.
struct BusMeasurement {
    bool ok = false;
    CanBusStats stats;
    bool stuckHigh = false;  // the receive line never went dominant during the test frame
    bool stuckLow = false;   // the receive line never went recessive during it
    std::string alert;       // the text to show when !ok
};
