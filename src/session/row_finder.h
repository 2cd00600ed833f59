#pragma once

#include <atomic>
#include <vector>

#include "session/frame_match.h"
#include "store/can_frame.h"

class FiltStore;
class MsgStore;
class Parser;

// How a search ended.
enum class FindEnd {
    kFound,      // before the end (or the start, backward)
    kWrapped,    // past it, from the other end
    kNotFound,   // no row matches
    kCancelled,  // stopped before it was done
};

struct FindResult {
    FindEnd end = FindEnd::kNotFound;
    StoreIndex row = -1;  // the filtered position found
};

// A running search's progress, read and cancelled from another thread.
struct FindProgress {
    std::atomic<bool> cancel{false};
    std::atomic<int> percent{0};  // of the rows to look at
};

// Finds rows of the message list, the filtered view, by what their frames hold (FrameMatch),
// on any thread while readers add frames: it reads the view and the store a run of rows at a
// time, holding each one's lock for a run only, and decodes (for a text match) with no lock held,
// on up to four threads at once (the decoder describes frames on any thread).
// Rows added after a search began are not looked at by it; rows that left the store during it
// are passed over.
class RowFinder {
  public:
    // decoder: the current decoder, for text matches; may be null. All outlive the finder.
    RowFinder(FiltStore& view, MsgStore& store, Parser* decoder)
        : view(view), store(store), decoder(decoder) {}

    // The first row matching match at filtered position from or after it (before it, backward);
    // with wrap, then on from the other end up to from.
    FindResult Find(const FrameMatch& match, StoreIndex from, bool forward, bool wrap,
                    FindProgress& progress);
    // The row of message number (store index) number, or the next row after it; -1 for none.
    // A number before the store's first frame (overwritten since) stands for that first frame.
    StoreIndex RowOfNumber(StoreIndex number);

  private:
    // Rows lo .. hi in the search's direction: the first matching, or -1; -2 when cancelled.
    // looked counts the rows looked at, of total.
    StoreIndex Scan(const FrameMatch& match, StoreIndex lo, StoreIndex hi, bool forward,
                    FindProgress& progress, int64_t& looked, int64_t total);

    // The index in frames of the first frame matching (the last, backward), described by
    // several threads at once; -1 for none, -2 when cancelled.
    int Describe(const FrameMatch& match, const std::vector<CANframe>& frames, bool forward,
                 FindProgress& progress) const;

    FiltStore& view;
    MsgStore& store;
    Parser* const decoder;
};
