#pragma once

#include <cstdint>
#include <vector>

#include "store/can_frame.h"

// A source of traffic on an emulated bus: a simulated machine, a replayed log, a flood. The bus
// calls it from its own thread, one call at a time. Times are microseconds on the program's
// clock (GetTime), compared with wrap-around arithmetic.
class SimSource {
  public:
    virtual ~SimSource() = default;
    // The bus starts carrying traffic (its first port was opened on the card).
    virtual void Start(uint32_t now) = 0;
    // Appends to out, in sending order, the frames this source wants on the bus by now; returns
    // when it next wants to be asked (at most a second ahead; it may be asked earlier).
    virtual uint32_t Poll(uint32_t now, std::vector<CANframe>& out) = 0;
    // A frame the bus carried, from any sender (this source's own ones too), at the time its
    // transmission ended. Answers go out through the next Poll.
    virtual void Seen(const CANframe& frame, uint32_t at) = 0;
};
