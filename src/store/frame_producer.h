#pragma once

#include "store/can_frame.h"

// A source of frames that a reader thread pulls from.
class FrameProducer {
  public:
    // True when frame now holds a new entry.
    virtual bool getNextFrame(CANframe&) { return false; }
    virtual ~FrameProducer() = default;
};
