#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "io/log_format.h"
#include "store/arrival_watcher.h"
#include "store/can_frame.h"
#include "store/frame_tally.h"

class LogNotices;
class MsgStore;

// How a live writer meets frames that come faster than it writes them.
enum class WriterPace {
    Hold,  // the adding reader waits for room: a replay waits for the file, nothing is lost
    Drop,  // frames beyond the queue are left out of the file and counted: ports cannot wait
};

// The log writer: a thread that writes the message store's frames into a log file, as the lines
// of one log format. It first writes what the store holds when it begins; a live writer then
// writes every frame the store takes, handed to it as it is stored (a FrameTally) into a queue of
// its own, so that no frame is lost to the store's ring overwriting it, however small the store.
// A write that fails stops the writing; the frames after it are counted as not written. A lag and
// a failure are each told once, as they happen.
//
// `lock` guards queue, queueBytes, the counts (leftOut, unwritten), error, failed, heldWritten,
// the notices' state (lagged, lagTold, failTold) and the thread's wake-up state (closeReq,
// stopped, closed, toTell); fp and formatWriter belong to the thread once it runs. Lock order:
// the store's `ingest` and `lock`, then this `lock` (the store hands frames over with both held).
// A Hold writer holds additions back with `ingest` held and the store's `lock` not: before each
// one until the frames held when it began are written (WriteHeld reads them with Get, which takes
// the store's `lock` only), after each one while its queue is full; the thread never takes
// `ingest` before it has stopped taking frames.
class LogWriter final : private FrameTally, private ArrivalWatcher {
  public:
    // Frames a live writer keeps queued at most, and their bytes with their texts'.
    static constexpr size_t kQueueFrames = size_t{1} << 18;
    static constexpr size_t kQueueBytes = size_t{32} << 20;

    // Opens path (replacing it) and starts writing from the oldest frame that store holds, in
    // format (Detect: the program's own). With live false the writer finishes by itself once it
    // has written what the store holds; with live true it goes on with every frame stored until
    // CloseLog, at pace. notices (may be null) is told of a failed or lagging write as it happens
    // and when the file is about to close. Throws QuillonError 12 when the file cannot be
    // opened, 11 when the thread cannot be started.
    LogWriter(const std::string& path, bool live, MsgStore& store, LogNotices* notices,
              LogFormat format = LogFormat::Quillon, WriterPace pace = WriterPace::Hold);
    // Finishes the writing first when it still runs.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Has the thread write every frame stored so far, then close the file; returns at once.
    void CloseLog();
    // Returns once the file is closed.
    void WaitDone();
    // Whether the file is closed.
    bool Done();
    // Returns once the frames the store held when the writer began are written (or the writing
    // failed): the store may then be cleared without mixing other frames into the file.
    void WaitHeld();
    bool HeldDone();
    // Why the file could not be written whole (the system's message, the frames not written, or
    // the frames left out as the format cannot carry them), "" when it was.
    std::string WriteError();
    // Frames stored while the file was written that it does not hold: left behind by a writer
    // that could not keep up, stored after a failed write, or overwritten in the store before
    // the writer reached them (of those the store held when the writer began).
    uint64_t Unwritten();

  private:
    void Run();
    // Writes what the store held when the writer began, [from, to).
    void WriteHeld(StoreIndex from, StoreIndex to);
    // Writes one frame's lines, or counts it as left out when the format cannot carry it (thread
    // only); false when it is not written as a write has failed.
    bool Write(const CANframe& frame);
    // A write failed (errno tells why): the writing stops; lost frames are counted with the
    // queue's.
    void Fail(uint64_t lost);
    // Flushes what was written; on failure the written frames since the last flush count as lost.
    bool Flush(uint64_t written);
    // The thread tells notices what it has to tell, outside lock.
    void Tell();
    // The held frames written are flushed every so many, so that a full disk shows early.
    static constexpr uint64_t kHeldFlushFrames = 4096;
    // Whether the queue holds as much as it may (under lock).
    bool QueueFull() const;
    void RunStarts() override;
    void Count(StoreIndex index, const CANframe& frame) override;
    void RunEnds() override;
    void Restart() override {}
    void Joined(StoreIndex next) override;
    void FramesComing() override;
    void FramesArrived(StoreIndex last) override;

    MsgStore& store;
    LogNotices* const notices;
    const std::string path;
    const bool live;
    const WriterPace pace;
    std::mutex lock;
    std::condition_variable wake;  // queue filled, closeReq or toTell set: the thread looks
    std::condition_variable room;  // the thread took the queue, wrote the held frames, or stopped
    std::condition_variable closing;  // closed set: for WaitDone
    std::unique_ptr<LogFormatWriter> formatWriter;
    std::vector<CANframe> queue;  // stored since the writer joined, not yet taken by the thread
    size_t queueBytes = 0;        // of the queued frames and their texts
    StoreIndex heldEnd = 0;       // the store index the queue starts at (Joined)
    std::string error;            // the first failed write or close
    uint64_t leftOut = 0;         // frames the format cannot carry
    uint64_t unwritten = 0;
    FILE* fp = nullptr;
    bool failed = false;       // a write failed: nothing more is written
    bool heldWritten = false;  // WriteHeld is done: a Hold adder may overwrite what it read
    bool lagged = false;       // a frame was left out as the queue was full
    bool lagTold = false;      // the notice of a lagging writer was sent
    bool failTold = false;     // the notice of a failed write was sent
    bool toTell = false;       // a lag or failure not yet told: the thread looks
    bool closeReq = false;
    bool stopped = false;  // the thread takes no more frames: adders neither queue nor wait
    bool closed = false;   // the file is closed and LogWriteDone sent
    std::thread thread;
};
