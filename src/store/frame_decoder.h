#pragma once

#include "store/can_frame.h"

// Earlier frames of the message store by store index, handed to a scan while the store holds
// its ring lock: the scan may read and annotate them without taking that lock again.
class StoredFrames {
  public:
    // The frame in its ring slot, or null when index is not held.
    virtual CANframe* Frame(StoreIndex index) = 0;

  protected:
    ~StoredFrames() = default;
};

// What the message store calls for every frame it takes in (the current decoder): it annotates
// the stored frame from what it learned of the frames before it.
class FrameDecoder {
  public:
    virtual ~FrameDecoder() = default;
    // Called once for every frame entering the store, in arrival order, with its store index
    // and the stored frame itself.
    virtual void Scan(StoreIndex index, CANframe& frame, StoredFrames& stored) = 0;
    // Forgets what Scan learned (the store was cleared).
    virtual void FlushState() = 0;
};
