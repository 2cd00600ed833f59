#pragma once

#include "store/can_frame.h"

// Told by the message store that frames were added, so that a thread that follows the store (the
// log writer, a live capture's limits) can wait for them instead of looking again and again.
class ArrivalWatcher {
  public:
    // Frames up to store index last are stored. On the adding thread, after each addition, with
    // the store's additions held back until it returns (MsgStore::ingest held): it must be quick
    // and must neither add to the store nor clear it.
    virtual void FramesArrived(StoreIndex last) = 0;
    // Frames are about to be stored, over the oldest ones when the ring is full. On the adding
    // thread, before each addition, with MsgStore::ingest held and `lock` not: a watcher may hold
    // the addition back until it has read the frames it would overwrite (with Get).
    virtual void FramesComing() {}

  protected:
    ~ArrivalWatcher() = default;
};
