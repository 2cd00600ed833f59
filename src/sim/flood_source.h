#pragma once

#include <cstdint>

#include "sim/sim_source.h"

// A measurement load: count frames back to back at the bus's maximum, all with one identifier
// and length, data bytes 0-3 the frame's sequence number from 0 (little-endian) and byte 4 the
// number of the bus that sends them. One frame is offered at a time; the next follows as soon
// as the bus has carried it, so the bus is never idle while frames remain.
class FloodSource : public SimSource {
  public:
    // An identifier above 0x7FF is sent as a 29-bit one.
    FloodSource(uint32_t count, uint32_t id, int length, int busNumber);

    void Start(uint32_t now) override;
    uint32_t Poll(uint32_t now, std::vector<CANframe>& out) override;
    void Seen(const CANframe& frame, uint32_t at) override;

  private:
    CANframe Frame(uint32_t sequence) const;

    const uint32_t count;
    const uint32_t id;
    const int length;
    const int busNumber;
    bool started = false;
    uint32_t next = 0;     // sequence number of the frame to offer or being offered
    bool offered = false;  // frame `next` was handed to the bus and not yet carried
};
