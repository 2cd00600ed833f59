#pragma once

// The main window, as the worker threads see it: the two completion notices they send. Each
// implementation forwards them to the GUI thread and never touches widgets on the caller's thread.
class MainFrame {
  public:
    virtual ~MainFrame() = default;
    // A log file replay reached the end of its file (reader thread).
    virtual void LogReadDone() = 0;
    // The log writer is about to close its file (writer thread).
    virtual void LogWriteDone() = 0;
};
