#pragma once

// The two completion notices of the log threads, sent from those threads: whoever receives
// them (the main window) must not touch widgets on the caller's thread.
class LogNotices {
  public:
    // A log file replay reached the end of its file (reader thread).
    virtual void LogReadDone() {}
    // The log writer is about to close its file (writer thread).
    virtual void LogWriteDone() {}

  protected:
    ~LogNotices() = default;
};
