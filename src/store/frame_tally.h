#pragma once

#include "store/can_frame.h"

// What counts the frames of a store as they arrive (the network status): the message store hands
// it every frame after the decoder's scan, the filtered view every frame it takes. Counting is
// done in runs, so that a tally takes its own lock once per run of frames rather than per frame.
class FrameTally {
  public:
    // A run of Count calls follows on the calling thread, then RunEnds.
    virtual void RunStarts() = 0;
    // One frame, as stored and annotated, at its store index; within a run, in store order.
    virtual void Count(StoreIndex index, const CANframe& frame) = 0;
    virtual void RunEnds() = 0;
    // Forgets every frame counted (the store was cleared, or the view is rebuilt). Not within a
    // run.
    virtual void Restart() = 0;
    // Counting begins while the store already holds frames: the next one will have store index
    // next. Not within a run.
    virtual void Joined(StoreIndex next) { (void)next; }

  protected:
    ~FrameTally() = default;
};
