#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "store/array.h"
#include "store/arrival_watcher.h"
#include "store/frame_decoder.h"
#include "store/frame_tally.h"
#include "store/storage.h"
#include "store/zero_pages.h"

// Every frame received or replayed, held by value in one bounded ring and addressed by its
// store index: its running number since the last Clear (64 bits, so it never wraps). When the ring
// is full the oldest frame is overwritten, so the indexes of the frames still held never change.
//
// Text entries (comments, lines that are no frame, CAN FD frames kept as text) hold their text on
// the heap besides their slot. The bytes those texts take are bounded as the slots are: when a
// new entry takes the texts held beyond the store's text budget (TextBudget), the oldest entries
// are let go of, as a full ring lets go of its oldest frame, until they fit again (the newest
// entry is always kept).
//
// Locks: `ingest` serialises whole additions (ring write, the scan, the notices) and guards decoder
// and watchers, so every frame is scanned and announced exactly once and in index order however
// many readers add at once. `lock` guards first, count and the ring slots. A batch of frames is
// added under one hold of each: per frame, the ring write, the scan and the listener's notice, in
// that order; then, with `lock` and the listener's locks released, the arrival watchers are told.
// Holding `lock` through the scan means a lookup never reads a frame the decoder is annotating; the
// decoder reads earlier frames through the StoredFrames it is handed. Lock order: ingest, then what
// the listener holds for a batch (BatchStarts to BatchEnds), then lock, then the decoder's and the
// listener's own locks, then each tally's; ingest, then a watcher's own lock. So no one may take
// `lock` before a lock the listener takes in its notice, nor `ingest` while holding a watcher's
// lock. `ingest` is never taken again by the thread that holds it; `lock` is (see Storage::lock): a
// listener, and the decoder describing a row for it, read the ring back with Get while it is held.
class MsgStore : public Storage {
  public:
    // At least 2. When the ring cannot be had at that size, a message is printed and the
    // largest size that can be had is used.
    // start: the index the first frame takes, also after each Clear; 0 but for tests that need a
    // long run behind the store.
    explicit MsgStore(int capacity, StoreIndex start = 0);
    ~MsgStore() override;

    // The heap bytes the texts held may take, a store of capacity slots: kTextBytesPerSlot a slot,
    // and at least kMinTextBytes, so that small stores keep the texts of a few frames too.
    static constexpr size_t kTextBytesPerSlot = 32;
    static constexpr size_t kMinTextBytes = size_t{1} << 20;
    static size_t TextBudget(int capacity);
    // The heap bytes the texts held take now (CANframe::TextBytes), at most TextBudget but for a
    // newest entry that alone takes more.
    size_t TextBytes();

    // The decoder (the current decoder) that annotates each new frame; null for none. Waits
    // for an addition in progress.
    void SetDecoder(FrameDecoder* decoder);
    // Has tally count every frame after the decoder's scan (the network status, the plots'
    // series), restarted with the store, until RemoveTally. Waits for an addition in progress.
    // Not owned.
    void AddTally(FrameTally* tally);
    void RemoveTally(FrameTally* tally);
    // Stores a copy of frame, has the decoder scan it, tells the listener. Reader threads.
    void Add(const CANframe& frame) { Add(&frame, 1); }
    // The same for n frames in a row, which no other addition comes between.
    void Add(const CANframe* frames, int n);
    bool Get(StoreIndex index, CANframe& frame) override;
    // Hands visit the frames held at indexes[0 .. n - 1] (ascending), with their place k in
    // indexes, under one hold of `lock`, until visit returns true; returns that k, or n. visit
    // takes no lock (a search matches a run of frames at the cost of one lookup).
    // Inline, with the range held looked at once: a search visits every frame.
    template <typename Visitor>
    int Visit(const StoreIndex* indexes, int n, Visitor&& visit) {
        std::lock_guard<std::recursive_mutex> hold(lock);
        const StoreIndex end = first + count;
        for (int k = 0; k < n; k++)
            if (indexes[k] >= first && indexes[k] < end && visit(k, Slot(indexes[k]))) return k;
        return n;
    }
    int GetMax() override { return capacity; }
    // Has watcher told of every addition from now on (FramesComing before it, FramesArrived
    // after it), until DelArrivalWatcher.
    // Waits for an addition in progress. Not owned.
    void AddArrivalWatcher(ArrivalWatcher* watcher);
    // After it returns watcher is told nothing more.
    void DelArrivalWatcher(ArrivalWatcher* watcher);
    // Forgets every frame, and the decoder's state built from them; indexes start again at 0
    // (at start).
    void Clear();
    // The store indexes of the exchange that frame index belongs to, from its first frame on.
    void GetTxList(StoreIndex index, Array<StoreIndex>& out);

  private:
    CANframe& Slot(StoreIndex index) { return frames[index % capacity]; }
    // One frame of Add, told to l; ingest and lock held.
    void AddOne(const CANframe& frame, StoreListener* l);

    // The ring as a scan sees it: `lock` is already held.
    class HeldRing : public StoredFrames {
      public:
        explicit HeldRing(MsgStore& store) : store(store) {}
        CANframe* Frame(StoreIndex index) override;

      private:
        MsgStore& store;
    };

    const StoreIndex start;
    std::mutex ingest;
    FrameDecoder* decoder = nullptr;
    std::vector<FrameTally*> tallies;
    std::vector<ArrivalWatcher*> watchers;
    int capacity = 0;
    // Zero pages: untouched slots cost no memory, and a zero slot is a valid empty frame to
    // assign to.
    std::unique_ptr<ZeroPages> pages;
    CANframe* frames = nullptr;
    int slotsUsed = 0;  // slots ever written, which may own text
    // Texts are held by the held slots only: a slot let go of, or cleared, releases its text.
    size_t textBytes = 0;  // of the held slots' texts; `lock`
    size_t textBudget = 0;
};
