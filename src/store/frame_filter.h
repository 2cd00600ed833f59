#pragma once

#include <mutex>

#include "store/can_frame.h"

// The test the filtered view applies to each frame: the display filter, which may be replaced
// while frames arrive, so it is only asked while its lock is held.
class FrameFilter {
  public:
    // Guards the test while it is asked or replaced.
    virtual std::mutex& FilterLock() = 0;
    // Whether frame passes; FilterLock() held.
    virtual bool Passes(const CANframe& frame) = 0;

  protected:
    ~FrameFilter() = default;
};
