#pragma once

#include "store/can_frame.h"

// A source of frames that a reader thread pulls from.
class FrameProducer {
  public:
    // True when frame now holds a new entry.
    virtual bool getNextFrame(CANframe&) { return false; }
    // The next entries, up to max of them, into frames; returns how many. A source that has them
    // at hand (a file) hands several at once, so that they are stored under one hold of the
    // store; one that waits for them hands each as it comes.
    virtual int getNextFrames(CANframe* frames, int) { return getNextFrame(frames[0]) ? 1 : 0; }
    // Called on another thread when the reader stops: a wait in getNextFrames ends soon, and later
    // calls do not wait (where the source can be woken at all). A source that never waits long
    // (a file) needs nothing.
    virtual void Interrupt() {}
    virtual ~FrameProducer() = default;
};
