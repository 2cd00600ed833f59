#pragma once

#include <mutex>

#include "store/can_frame.h"

class StoreListener;

// What the message list reads rows from: the message store, or the filtered view over it.
class Storage {
  public:
    // Tells the listener that this store is gone.
    virtual ~Storage();
    virtual bool Get(StoreIndex index, CANframe& frame) = 0;
    // Stores the first and last valid index through the pointers that are not null; returns
    // the number of entries.
    virtual int GetTotal(StoreIndex* first, StoreIndex* last);
    virtual StoreIndex GetLast();
    virtual StoreIndex GetFirst();
    // One listener at a time: a new one replaces the old.
    virtual void AddStoreListener(StoreListener* l);
    virtual void DelStoreListener(StoreListener* l);
    virtual int GetMax() { return 0; }

  protected:
    // Whether index lies in first .. first + count - 1 (lock held).
    bool Valid(StoreIndex index) const;

    StoreListener* listener = nullptr;
    // Guards listener, first, count and the subclass's fields. Recursive: a listener's notice
    // runs with the lock of the store that tells it held, and reads that store back (the row it
    // was told of, and the decoder's earlier frames when it describes that row).
    std::recursive_mutex lock;
    // The valid indexes of a ring of entries are first .. first + count - 1: running numbers,
    // which never wrap; count is at most the ring's capacity.
    StoreIndex first = 0;
    int count = 0;
};

// Told of entries added to a Storage and of its clearing.
class StoreListener {
  public:
    virtual ~StoreListener();
    // Entries up to last were added; the store now holds first..last, total entries.
    // (0, -1, 0) after the store was cleared.
    virtual void AddStore(StoreIndex first, StoreIndex last, int total) = 0;
    // The same for one frame just added at last, handed where it is held, so that a listener
    // that looks at it need not look it up. The frame stays put during the call. It comes within
    // a run of notices (BatchStarts to BatchEnds).
    virtual void AddStoreFrame(StoreIndex first, StoreIndex last, int total, const CANframe&) {
        AddStore(first, last, total);
    }
    // The store is about to be rebuilt (emptied and filled again), then StoreReset follows:
    // the last moment the listener can read the entries it showed.
    virtual void ResetStarts() {}
    virtual void StoreReset() {}
    // Several AddStoreFrame notices are about to follow on the calling thread, one addition
    // of several frames; BatchEnds follows them. A listener may hold for the whole run a lock it
    // would otherwise take for each frame.
    virtual void BatchStarts() {}
    virtual void BatchEnds() {}

    Storage* store = nullptr;
};
