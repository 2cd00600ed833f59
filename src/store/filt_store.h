#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "store/frame_filter.h"
#include "store/frame_tally.h"
#include "store/storage.h"
#include "store/zero_pages.h"

class MsgStore;

// The frames the display filter passes: a ring of their store indexes in store
// order, addressed by filtered indexes that restart at 0 whenever the view is emptied. It
// listens to the message store for every new frame and for its clearing, and it is what the
// message list reads.
//
// A slot keeps the low 32 bits of a store index (4 bytes a frame, so that with the message store's
// 40 a frame costs 44): the view keeps indexes whose frames have left the message store, but lets
// go of those more than 2^31 before the newest index it was told of (no store holds such a frame
// again), so every index it holds lies within 2^32 before that newest index, which tells the whole
// index back. Filtered indexes are running numbers like store indexes.
//
// Locks: `lock` (the Storage lock) guards first, count, the ring and the rebuild bookkeeping;
// the filter's own lock (FrameFilter::FilterLock) guards it while it is matched. Lock order: the
// filter's lock, then `lock`, then the tally's, then the message store's: a run of notices
// (BatchStarts to BatchEnds) holds the first two throughout, around the message store's additions,
// so that each frame's notice takes them again at little cost. Notices arrive one frame at a time
// (the message store serialises its additions), and a Reset that runs while frames arrive leaves
// every passing frame in the view exactly once, in order: while it rebuilds, notices leave the
// frames to it, and it catches up with the store before it ends.
class FiltStore : public Storage, public StoreListener {
  public:
    // An empty view of source with source's capacity, passing what filter passes; registers as
    // source's listener.
    FiltStore(MsgStore& source, FrameFilter& filter);
    ~FiltStore() override;

    // The message store's notice of its clearing (0, -1, 0), the one notice it sends without a
    // frame.
    void AddStore(StoreIndex first, StoreIndex last, int total) override;
    // The same with the newest frame handed in, as the message store does within a run of
    // notices.
    void AddStoreFrame(StoreIndex first, StoreIndex last, int total,
                       const CANframe& frame) override;
    // A run of notices is taken under one hold of the filter's lock and `lock`.
    void BatchStarts() override;
    void BatchEnds() override;
    // Rebuilds the view with the current filter between telling the listener ResetStarts and
    // StoreReset (GUI thread).
    // progress, when given, is called between batches with no lock held, after the listener was
    // told of the view rebuilt so far (AddStore), so that a caller can keep a window live and
    // show the view growing; it may clear the store or add frames.
    void Reset(const std::function<void()>& progress = nullptr);
    // What counts every frame the view takes (the network status of the filtered frames); null
    // for none. It is restarted and counts the frames taken from then on: a Reset after it has
    // it count those the view holds. Not owned.
    void SetTally(FrameTally* tally);

    // The frame at filtered index; false when index is not held or the frame has left the
    // message store.
    bool Get(StoreIndex index, CANframe& frame) override;
    // The store index held at filtered index, or -1.
    StoreIndex GetStoreIndex(StoreIndex index);
    // The store indexes held at filtered indexes from .. from + n - 1 into out, under one hold
    // of the lock: from is first moved up to the first index held; returns how many were
    // copied.
    int GetStoreIndexes(StoreIndex& from, int n, StoreIndex* out);
    int GetMax() override { return capacity; }
    // The filtered index holding storeIndex, by bisection; for an index not held, the position
    // of the next higher one (the last position above all, first + 1 below all when two or more
    // are held); -1 when the view is empty.
    StoreIndex FindNdx(StoreIndex storeIndex);

  private:
    uint32_t& Slot(StoreIndex index) { return entries[index % capacity]; }
    // The store index held at filtered index (held); lock held.
    StoreIndex Entry(StoreIndex index);
    // Takes the frame at store index last when it passes, and tells the listener; refuses it
    // otherwise. The filter's lock and `lock` held.
    void Take(StoreIndex last, const CANframe& frame, bool pass);
    bool Tallied();
    // Lock held.
    void Append(StoreIndex storeIndex);
    void Empty();

    MsgStore& source;
    FrameFilter& filter;
    FrameTally* tally = nullptr;  // guarded by `lock`
    int capacity = 0;
    std::unique_ptr<ZeroPages> pages;
    uint32_t* entries = nullptr;
    // The newest store index the view was told of or has taken since the message store was last
    // cleared: at or after every index held.
    StoreIndex newest = -1;
    // Rebuild bookkeeping. decidedUpTo: the highest store index the view has taken or refused
    // since the message store was last cleared, so that no frame is taken twice.
    bool rebuilding = false;
    StoreIndex decidedUpTo = -1;
    unsigned clears = 0;  // clear notices seen; a rebuild that sees one starts over
};
