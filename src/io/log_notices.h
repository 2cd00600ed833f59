#pragma once

#include <string>

// The notices of the reader and writer threads, sent from those threads: whoever receives them
// (the main window) must not touch widgets on the caller's thread.
class LogNotices {
  public:
    // A log file replay reached the end of its file (reader thread).
    virtual void LogReadDone() {}
    // The log writer is about to close its file (writer thread).
    virtual void LogWriteDone() {}
    // A reader met a fault and reads on, or receives again after one (reader thread). The text
    // names the source ("Port 2: CAN device can0: Network is down"); a fault that repeats is told
    // once until frames come again.
    virtual void ReadFault(const std::string& /*message*/) {}

  protected:
    ~LogNotices() = default;
};
