#pragma once

#include <string>

class MsgDetail;

// The main window, as the rest of the program sees it: the two completion notices the worker
// threads send, which an implementation forwards to the GUI thread without touching widgets on
// the caller's thread, and its position.
class MainFrame {
  public:
    virtual ~MainFrame() = default;
    // Replays a log file into the store (GUI thread).
    virtual void OpenLogFile(const std::string& path) = 0;
    // A log file replay reached the end of its file (reader thread).
    virtual void LogReadDone() {}
    // The log writer is about to close its file (writer thread).
    virtual void LogWriteDone() {}
    // The window's screen position, where dialogs and progress windows open (GUI thread).
    virtual void GetXY(int& x, int& y) = 0;
    // The detail view that shows the selected frame, or null (GUI thread).
    virtual MsgDetail* GetMsgDetail() = 0;
};
