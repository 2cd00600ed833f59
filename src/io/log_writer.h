#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "base/threads_posix.h"
#include "io/log_format.h"
#include "store/can_frame.h"

class LogNotices;
class MsgStore;

// The log writer: a thread that copies the message store's frames into a log file, as the lines
// of one log format, while the store fills.
class LogWriter : public Thread {
  public:
    // Opens path (replacing it) and starts writing from the oldest frame that store holds, in
    // format (Detect: the program's own). With live false the writer finishes by itself once it
    // has written what the store holds; with live true it goes on until CloseLog. notices (may
    // be null) is told when the file is about to close. Throws QuillonError 12 when the file
    // cannot be opened, 11 when the thread cannot be started.
    LogWriter(const std::string& path, bool live, MsgStore& store, LogNotices* notices,
              LogFormat format = LogFormat::Quillon);
    // Finishes the writing first when it still runs.
    ~LogWriter() override;

    void run() override;
    // Writes the frame's lines. QuillonError 17 after the close.
    void Write(const CANframe& frame);
    void CloseLog();
    // Returns once the file is closed.
    void WaitDone();
    // Why the file could not be written whole (the system's message), "" when it was.
    std::string WriteError();

  private:
    // Notes the first failed write (under lock).
    void CheckWritten();

    MsgStore& store;
    LogNotices* const notices;
    std::mutex lock;  // guards fp, formatWriter, closeReq and error
    std::unique_ptr<LogFormatWriter> formatWriter;
    std::string error;  // the first failed write or close
    FILE* fp = nullptr;
    bool closeReq = false;
    std::atomic<bool> running{false};  // from construction until the file is closed
};
