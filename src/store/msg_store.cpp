#include "store/msg_store.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace {
constexpr int kMinCapacity = 2;
}  // namespace

MsgStore::MsgStore(int wanted, StoreIndex firstIndex) : start(firstIndex) {
    first = start;
    capacity = std::max(wanted, kMinCapacity);
    for (;;) {
        pages = std::make_unique<ZeroPages>(static_cast<size_t>(capacity) * sizeof(CANframe));
        if (pages->data()) break;
        if (capacity == kMinCapacity) throw std::bad_alloc();
        capacity = std::max(capacity / 2, kMinCapacity);
    }
    frames = static_cast<CANframe*>(pages->data());
    textBudget = TextBudget(capacity);
    if (capacity != wanted)
        std::fprintf(stderr, "Message store of %d frames not available; holding %d frames\n",
                     wanted, capacity);
}

MsgStore::~MsgStore() {
    // The listener sees the store emptied; the decoder may be gone already.
    if (listener) listener->AddStore(0, -1, 0);
    for (int i = 0; i < slotsUsed; i++) frames[i].~CANframe();
}

size_t MsgStore::TextBudget(int capacity) {
    return std::max(static_cast<size_t>(std::max(capacity, 0)) * kTextBytesPerSlot, kMinTextBytes);
}

size_t MsgStore::TextBytes() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return textBytes;
}

void MsgStore::SetDecoder(FrameDecoder* replacement) {
    std::lock_guard<std::mutex> serial(ingest);
    decoder = replacement;
}

void MsgStore::AddTally(FrameTally* tally) {
    std::lock_guard<std::mutex> serial(ingest);
    StoreIndex next;
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        next = first + count;
    }
    tally->Joined(next);
    tallies.push_back(tally);
}

void MsgStore::RemoveTally(FrameTally* tally) {
    std::lock_guard<std::mutex> serial(ingest);
    tallies.erase(std::remove(tallies.begin(), tallies.end(), tally), tallies.end());
}

CANframe* MsgStore::HeldRing::Frame(StoreIndex index) {
    return store.Valid(index) ? &store.Slot(index) : nullptr;
}

void MsgStore::Add(const CANframe* added, int n) {
    std::lock_guard<std::mutex> serial(ingest);
    for (ArrivalWatcher* w : watchers) w->FramesComing();
    StoreListener* l;
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        l = listener;
    }
    // The whole run, its notices and its end, goes to the listener it started at. It ends
    // however the additions end, so that a scan or notice that throws leaves no lock held.
    struct Run {
        StoreListener* l;
        ~Run() {
            if (l) l->BatchEnds();
        }
    };
    StoreIndex last;
    {
        if (l) l->BatchStarts();
        Run run{l};
        std::lock_guard<std::recursive_mutex> hold(lock);
        // Each tally's run ends however the additions end (see Run).
        struct Tallied {
            std::vector<FrameTally*>& tallies;
            size_t started = 0;
            ~Tallied() {
                while (started > 0) tallies[--started]->RunEnds();
            }
        } tallied{tallies};
        for (; tallied.started < tallies.size(); tallied.started++)
            tallies[tallied.started]->RunStarts();
        for (int i = 0; i < n; i++) AddOne(added[i], l);
        last = first + count - 1;
    }
    for (ArrivalWatcher* w : watchers) w->FramesArrived(last);
}

void MsgStore::AddArrivalWatcher(ArrivalWatcher* watcher) {
    std::lock_guard<std::mutex> serial(ingest);
    watchers.push_back(watcher);
}

void MsgStore::DelArrivalWatcher(ArrivalWatcher* watcher) {
    std::lock_guard<std::mutex> serial(ingest);
    watchers.erase(std::remove(watchers.begin(), watchers.end(), watcher), watchers.end());
}

void MsgStore::AddOne(const CANframe& frame, StoreListener* l) {
    const StoreIndex index = first + count;
    const int at = static_cast<int>(index % capacity);
    CANframe& slot = frames[at];
    pages->Reach((at + 1) * sizeof(CANframe));
    slotsUsed = std::max(slotsUsed, at + 1);
    const size_t replaced = count == capacity ? slot.TextBytes() : 0;
    slot = frame;  // counted only once written: a copy that throws adds nothing
    textBytes = textBytes - replaced + slot.TextBytes();
    if (count == capacity)
        first++;
    else
        count++;
    // Over the text budget: the oldest entries go, their texts with them.
    while (textBytes > textBudget && count > 1) {
        CANframe& oldest = Slot(first);
        textBytes -= oldest.TextBytes();
        oldest.Reset(false);
        first++;
        count--;
    }
    if (decoder) {
        HeldRing held(*this);
        decoder->Scan(index, slot, held);
    }
    for (FrameTally* tally : tallies) tally->Count(index, slot);
    if (l) l->AddStoreFrame(first, first + count - 1, count, slot);
}

bool MsgStore::Get(StoreIndex index, CANframe& frame) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (!Valid(index)) return false;
    frame = Slot(index);
    return true;
}

void MsgStore::Clear() {
    std::lock_guard<std::mutex> serial(ingest);
    StoreListener* l;
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        for (int i = 0; i < slotsUsed; i++)
            if (frames[i].type == FRAME_TEXT) frames[i].Reset(false);
        textBytes = 0;
        first = start;
        count = 0;
        l = listener;
    }
    // What the decoder learned refers to frames that are gone, by indexes that new frames will
    // take again: start it afresh too.
    if (decoder) decoder->FlushState();
    for (FrameTally* tally : tallies) tally->Restart();
    if (l) l->AddStore(0, -1, 0);
}

void MsgStore::GetTxList(StoreIndex index, Array<StoreIndex>& out) {
    out.Clear();
    // Each lookup locks on its own. The walks are bounded by the number of frames held, so
    // links that form a loop cannot hang the caller.
    struct Links {
        bool valid;
        bool firstOfExchange;
        StoreIndex prev, next;
    };
    auto look = [this](StoreIndex i) {
        std::lock_guard<std::recursive_mutex> hold(lock);
        if (!Valid(i)) return Links{false, false, -1, -1};
        const CANframe& f = Slot(i);
        const StoreIndex newest = first + count - 1;
        return Links{true, (f.scanInfo & 1) != 0, f.Prev(newest), f.Next(newest)};
    };
    Links at = look(index);
    if (!at.valid) {
        out.Append(index);
        return;
    }
    const int limit = GetTotal(nullptr, nullptr);
    StoreIndex start = index;
    for (int steps = 0; !at.firstOfExchange && steps < limit; steps++) {
        Links prev = look(at.prev);
        if (!prev.valid) break;
        start = at.prev;
        at = prev;
    }
    out.Append(start);
    for (int steps = 0; steps < limit; steps++) {
        Links next = look(at.next);
        if (!next.valid || next.firstOfExchange) break;
        out.Append(at.next);
        at = next;
    }
}
