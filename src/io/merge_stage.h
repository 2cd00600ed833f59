#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "io/frame_merge.h"

class MsgStore;

// The ports' frames on their way to the message store: the port readers hand them over, and a
// thread of its own stores them in time-stamp order (FrameMerge), in batches, each frame held at
// most the window.
//
// `lock` guards merge, finishing and roomWaiters. It is held only to hand frames over or take them
// out, never while storing them: nothing else is taken while it is held. Lock order: the read
// manager's lock, then this lock (AddSource). The thread takes the store's locks without it.
class MergeStage {
  public:
    // The longest a frame waits for the frames of other ports that may be older.
    static constexpr std::chrono::milliseconds kWindow{20};
    // The most frames held: a reader waits while so many are (the store is behind).
    static constexpr size_t kMaxHeld = size_t{1} << 16;

    // Starts the thread, at real-time priority where the system allows it, as the readers' are.
    // Throws std::system_error when no thread can be started.
    explicit MergeStage(MsgStore& store, FrameMerge::Clock::duration window = kWindow);
    // Finish.
    ~MergeStage();
    MergeStage(const MergeStage&) = delete;
    MergeStage& operator=(const MergeStage&) = delete;

    // A new port; its number for Add.
    int AddSource();
    // The next n frames of source, in the order it read them. Reader threads.
    void Add(int source, const CANframe* frames, int n);
    // Stores every frame held and ends the thread; no Add may come after it or meanwhile.
    void Finish();
    // Frames stored after a newer one, as they came later than the window.
    uint64_t LateFrames();

  private:
    void Run();

    MsgStore& store;
    std::mutex lock;
    std::condition_variable due;   // a frame may be due sooner, or Finish was called
    std::condition_variable room;  // frames were taken out while kMaxHeld were held
    FrameMerge merge;
    bool finishing = false;
    int roomWaiters = 0;  // readers waiting for room
    std::thread thread;   // last: it runs from construction, with everything above in place
};
