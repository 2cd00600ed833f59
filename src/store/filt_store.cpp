#include "store/filt_store.h"

#include <algorithm>
#include <new>
#include <vector>

#include "store/msg_store.h"

namespace {
// Frames matched per hold of the filter mutex while rebuilding: long enough to make the lock
// cheap, short enough that readers' notices do not wait long.
constexpr int kBatch = 1024;
}  // namespace

FiltStore::FiltStore(MsgStore& msgStore, FrameFilter& displayFilter)
    : source(msgStore), filter(displayFilter) {
    capacity = source.GetMax();
    pages = std::make_unique<ZeroPages>(static_cast<size_t>(capacity) * sizeof(uint32_t));
    if (!pages->data()) throw std::bad_alloc();
    entries = static_cast<uint32_t*>(pages->data());
    source.AddStoreListener(this);
}

FiltStore::~FiltStore() {
    // Before the ring goes; no reader may be adding frames by now.
    if (store) store->DelStoreListener(this);
}

StoreIndex FiltStore::Entry(StoreIndex index) {
    return newest - static_cast<uint32_t>(static_cast<uint32_t>(newest) - Slot(index));
}

void FiltStore::Append(StoreIndex storeIndex) {
    pages->Reach(((first + count) % capacity + 1) * sizeof(uint32_t));
    Slot(first + count) = static_cast<uint32_t>(storeIndex);
    newest = std::max(newest, storeIndex);
    if (count == capacity)
        first++;
    else
        count++;
}

void FiltStore::Empty() {
    first = 0;
    count = 0;
}

void FiltStore::AddStore(StoreIndex, StoreIndex, int total) {
    // The message store hands every new frame to AddStoreFrame; without one it only clears.
    if (total != 0) return;
    StoreListener* l;
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        Empty();
        newest = -1;
        decidedUpTo = -1;
        clears++;
        l = listener;
    }
    if (l) l->StoreReset();
}

void FiltStore::AddStoreFrame(StoreIndex first, StoreIndex last, int total, const CANframe& frame) {
    if (total == 0)
        AddStore(first, last, total);
    else  // within a run: BatchStarts holds the locks
        Take(last, frame, filter.Passes(frame));
}

// Held from one call to the other, so no scoped guard can hold them.
void FiltStore::BatchStarts() {
    filter.FilterLock().lock();
    lock.lock();
    if (tally) tally->RunStarts();
}

void FiltStore::BatchEnds() {
    if (tally) tally->RunEnds();
    lock.unlock();
    filter.FilterLock().unlock();
}

void FiltStore::SetTally(FrameTally* replacement) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    tally = replacement;
    if (tally) tally->Restart();
}

void FiltStore::Take(StoreIndex last, const CANframe& frame, bool pass) {
    newest = std::max(newest, last);
    while (count > 0 && Entry(first) < newest - INT32_MAX) {
        first++;
        count--;
    }
    if (rebuilding || last <= decidedUpTo) return;  // a rebuild has it, or will
    decidedUpTo = last;
    if (!pass) return;
    Append(last);
    if (tally) tally->Count(last, frame);
    if (listener) listener->AddStore(first, first + count - 1, count);
}

void FiltStore::Reset(const std::function<void()>& progress) {
    unsigned generation;
    StoreIndex next;
    auto restart = [&] {
        Empty();
        if (tally) tally->Restart();
        generation = clears;
        next = source.GetFirst();
    };
    StoreListener* starting;
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        starting = listener;
    }
    if (starting) starting->ResetStarts();
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        rebuilding = true;
        restart();
    }
    std::vector<StoreIndex> passed;
    passed.reserve(kBatch);
    std::vector<CANframe> passedFrames;  // for the tally: copied while the store holds them
    CANframe frame;
    for (;;) {
        StoreIndex storeFirst, storeLast;
        source.GetTotal(&storeFirst, &storeLast);
        next = std::max(next, storeFirst);
        if (next > storeLast) {
            // Caught up: frames added from here on are the notices' again.
            std::lock_guard<std::recursive_mutex> hold(lock);
            if (clears != generation) {
                restart();
                continue;
            }
            if (source.GetLast() >= next) continue;
            rebuilding = false;
            decidedUpTo = next - 1;
            break;
        }
        const StoreIndex end = storeLast - next >= kBatch ? next + kBatch - 1 : storeLast;
        passed.clear();
        passedFrames.clear();
        {
            std::lock_guard<std::mutex> hold(filter.FilterLock());
            const bool counted = Tallied();
            for (StoreIndex i = next; i <= end; i++) {
                if (!source.Get(i, frame) || !filter.Passes(frame)) continue;
                passed.push_back(i);
                if (counted) passedFrames.push_back(frame);
            }
        }
        StoreListener* l;
        StoreIndex f;
        int c;
        {
            std::lock_guard<std::recursive_mutex> hold(lock);
            if (clears != generation) {
                restart();
                continue;
            }
            for (StoreIndex i : passed) Append(i);
            if (tally && passedFrames.size() == passed.size()) {
                tally->RunStarts();
                for (size_t k = 0; k < passed.size(); k++) tally->Count(passed[k], passedFrames[k]);
                tally->RunEnds();
            }
            next = end + 1;
            l = listener;
            f = first;
            c = count;
        }
        if (progress) {
            if (l && c > 0) l->AddStore(f, f + c - 1, c);
            progress();
        }
    }
    StoreListener* l;
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        l = listener;
    }
    if (l) l->StoreReset();
}

bool FiltStore::Tallied() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return tally != nullptr;
}

bool FiltStore::Get(StoreIndex index, CANframe& frame) {
    const StoreIndex storeIndex = GetStoreIndex(index);
    return storeIndex >= 0 && source.Get(storeIndex, frame);
}

StoreIndex FiltStore::GetStoreIndex(StoreIndex index) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return Valid(index) ? Entry(index) : -1;
}

int FiltStore::GetStoreIndexes(StoreIndex& from, int n, StoreIndex* out) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    const StoreIndex end = std::min(from + n, first + count);
    from = std::max(from, first);
    int copied = 0;
    for (StoreIndex i = from; i < end; i++) out[copied++] = Entry(i);
    return copied;
}

StoreIndex FiltStore::FindNdx(StoreIndex target) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (count == 0) return -1;
    StoreIndex lo = first;
    StoreIndex hi = first + count - 1;
    for (;;) {
        if (hi < lo) return lo;
        const StoreIndex mid = lo + (hi - lo) / 2;
        const StoreIndex found = Entry(mid);
        if (found == target || lo == hi) return mid;
        if (mid == lo) {
            lo = mid + 1;
        } else if (target > found) {
            lo = mid;
            if (hi < mid) return mid;
        } else {
            hi = mid;
        }
    }
}
