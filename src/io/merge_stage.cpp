#include "io/merge_stage.h"

#include <vector>

#include "base/thread_priority.h"
#include "store/msg_store.h"

namespace {
constexpr int kBatch = 64;  // frames stored under one hold of the store
}  // namespace

MergeStage::MergeStage(MsgStore& store, FrameMerge::Clock::duration window)
    : store(store), merge(window), thread(&MergeStage::Run, this) {
    SetRealTimePriority(thread, kWorkerPriority);
}

MergeStage::~MergeStage() {
    Finish();
}

int MergeStage::AddSource() {
    std::lock_guard<std::mutex> hold(lock);
    return merge.AddSource();
}

void MergeStage::Add(int source, const CANframe* frames, int n) {
    const FrameMerge::Clock::time_point now = FrameMerge::Clock::now();
    bool wake;
    {
        std::unique_lock<std::mutex> hold(lock);
        if (merge.Held() >= kMaxHeld) {
            roomWaiters++;
            room.wait(hold, [this] { return merge.Held() < kMaxHeld; });
            roomWaiters--;
        }
        const bool idle = merge.Held() == 0;  // the thread waits without a deadline
        bool sooner = false;
        for (int i = 0; i < n; i++) sooner |= merge.Add(source, frames[i], now);
        // Frames due before the thread's deadline wake it once they fill a batch, so that a busy
        // bus costs a wake-up a batch rather than one a frame; a late frame goes at once.
        wake = idle || (sooner && merge.NextDue() == FrameMerge::Clock::time_point::min() &&
                        (merge.Held() >= kBatch || merge.LateNext()));
    }
    if (wake) due.notify_one();
}

void MergeStage::Finish() {
    {
        std::lock_guard<std::mutex> hold(lock);
        if (finishing) return;
        finishing = true;
    }
    due.notify_one();
    thread.join();
}

uint64_t MergeStage::LateFrames() {
    std::lock_guard<std::mutex> hold(lock);
    return merge.Late();
}

void MergeStage::Run() {
    std::vector<CANframe> batch(kBatch);
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        const int n = finishing ? merge.Drain(batch.data(), kBatch)
                                : merge.Release(FrameMerge::Clock::now(), batch.data(), kBatch);
        if (n > 0) {
            const bool wake = roomWaiters > 0;
            hold.unlock();
            if (wake) room.notify_all();
            store.Add(batch.data(), n);
            hold.lock();
            continue;
        }
        if (finishing) return;
        const FrameMerge::Clock::time_point next = merge.NextDue();
        if (next == FrameMerge::Clock::time_point::max())
            due.wait(hold);
        else
            due.wait_until(hold, next);
    }
}
