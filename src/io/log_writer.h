#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "io/log_format.h"
#include "store/arrival_watcher.h"
#include "store/can_frame.h"

class LogNotices;
class MsgStore;

// The log writer: a thread that copies the message store's frames into a log file, as the lines
// of one log format, while the store fills. It sleeps until the store tells it of new frames or a
// close is asked for, then writes every frame the store still holds beyond the last it wrote.
//
// `lock` guards fp, formatWriter, error, leftOut and the thread's wake-up state (arrived,
// closeReq, closed). Lock order: the store's `ingest`, then `lock` (the store tells the writer of
// frames with its additions held back); the thread reads the store without holding `lock`.
class LogWriter final : private ArrivalWatcher {
  public:
    // Opens path (replacing it) and starts writing from the oldest frame that store holds, in
    // format (Detect: the program's own). With live false the writer finishes by itself once it
    // has written what the store holds; with live true it goes on until CloseLog. notices (may
    // be null) is told when the file is about to close. Throws QuillonError 12 when the file
    // cannot be opened, 11 when the thread cannot be started.
    LogWriter(const std::string& path, bool live, MsgStore& store, LogNotices* notices,
              LogFormat format = LogFormat::Quillon);
    // Finishes the writing first when it still runs.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Writes the frame's lines. QuillonError 17 after the close.
    void Write(const CANframe& frame);
    // Has the thread write what the store holds, then close the file; returns at once.
    void CloseLog();
    // Returns once the file is closed.
    void WaitDone();
    // Why the file could not be written whole (the system's message, or the frames left out as
    // the format cannot carry them), "" when it was.
    std::string WriteError();

  private:
    void Run();
    void FramesArrived(StoreIndex last) override;
    // Notes the first failed write (under lock).
    void CheckWritten();

    MsgStore& store;
    LogNotices* const notices;
    std::mutex lock;
    std::condition_variable wake;     // arrived or closeReq set: the thread looks at the store
    std::condition_variable closing;  // closed set: for WaitDone
    std::unique_ptr<LogFormatWriter> formatWriter;
    std::string error;     // the first failed write or close
    uint64_t leftOut = 0;  // frames the format cannot carry
    FILE* fp = nullptr;
    bool arrived = true;  // frames came since the thread last looked; true: it looks at once
    bool closeReq = false;
    bool closed = false;  // the file is closed and LogWriteDone sent
    std::thread thread;
};
