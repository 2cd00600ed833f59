#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "store/can_frame.h"

// Whether time t has come by now, in wrap-around arithmetic.
inline bool TimeReached(uint32_t t, uint32_t now) {
    return static_cast<int32_t>(now - t) >= 0;
}

// Frames a simulated machine wants on the bus, each from its due time on.
class SimFrameQueue {
  public:
    void Send(uint32_t due, uint32_t id, const uint8_t* data, int length);
    void Send(uint32_t due, uint32_t id, std::initializer_list<uint8_t> data) {
        Send(due, id, data.begin(), static_cast<int>(data.size()));
    }
    void SendRemote(uint32_t due, uint32_t id, int length);
    // Moves the frames due by now to out. Frames waiting together go in identifier order, as
    // arbitration would send them; frames of one identifier keep their order.
    void TakeDue(uint32_t now, std::vector<CANframe>& out);
    // The earliest due time, or now + limit when nothing waits that long.
    uint32_t Next(uint32_t now, uint32_t limit) const;

  private:
    struct Pending {
        uint32_t due;
        uint64_t order;
        CANframe frame;
    };
    std::vector<Pending> pending;
    uint64_t sent = 0;
};
