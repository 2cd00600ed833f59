#pragma once

#include <memory>
#include <string>

#include "filter/filter_element.h"
#include "io/log_notices.h"

class MsgDetail;
struct Dialogs;

// The windows and dialogs as the program's start-up and the other windows see them; FLTK classes
// implement them.

// What became of a request to select a frame of the message list by its store index.
enum class FrameSelection {
    kSelected,     // selected, shown, its exchange marked
    kFilteredOut,  // the store holds it, the display filter leaves it out of the list
    kNotStored,    // the store no longer (or not yet) holds it
};

// The main window: the two completion notices the worker threads send, which an implementation
// forwards to the GUI thread without touching widgets on the caller's thread, and its position.
class MainFrame : public LogNotices {
  public:
    virtual ~MainFrame() = default;
    // Replays a log file into the store (GUI thread).
    virtual void OpenLogFile(const std::string& path) = 0;
    // The window's screen position, where dialogs and progress windows open (GUI thread).
    virtual void GetXY(int& x, int& y) = 0;
    // The detail view that shows the selected frame, or null (GUI thread).
    virtual MsgDetail* GetMsgDetail() = 0;
    // The dialogs its menus and toolbar open, built with this window as their owner.
    virtual void SetDialogs(Dialogs dialogs) = 0;
    // Selects the frame at store index in the message list, as a click on its row does (GUI
    // thread).
    virtual FrameSelection SelectFrame(StoreIndex index) = 0;
    // Its message list selected the frame at store index (GUI thread): the windows that follow
    // the selection (plots) hear of it.
    virtual void FrameSelected(StoreIndex storeIndex) { (void)storeIndex; }
    // Cancels a find of its message list that runs and returns once it has ended: before the
    // filtered view is rebuilt, whose rows the find counts (GUI thread).
    virtual void StopFind() {}
};

// The hardware dialog: the CAN cards and ports of the machine, their bit rates and which ports Play
// monitors.
class HardwareDialog {
  public:
    virtual ~HardwareDialog() = default;
    virtual void Show() = 0;
};

// The network configuration dialog: edits the session's network configuration.
class NetworkDialog {
  public:
    virtual ~NetworkDialog() = default;
    virtual void Show() = 0;
};

// The filter dialog: the list of filter elements that expressions name by letter, and the
// expression that becomes the display filter.
class FiltDialog {
  public:
    virtual void Show() = 0;
    virtual ~FiltDialog() = default;
    // The dialog window's screen position; negative when it has none.
    virtual void GetXY(int& x, int& y) = 0;
    // Appends an element; dropped when the list is full.
    virtual void AddFE(std::unique_ptr<FilterElement> element) = 0;
    // Removes the selected element, when one is selected, and appends element in its stead.
    virtual void ReplaceFE(std::unique_ptr<FilterElement> element) = 0;
    // A copy of the named element, or null.
    virtual std::unique_ptr<FilterElement> FindFE(std::string name) = 0;
};

// The bus analyzer: a port's card sends a test frame, and the receive and ACK timing is shown
// as a diagram of one bit time.
class AnalyzerDialog {
  public:
    virtual void Show() = 0;
    virtual ~AnalyzerDialog() = default;
};

// The network status window: the nodes, identifiers and SDO transfers of the frames counted,
// updated while it is shown. Not modal.
class NetworkStatusWindow {
  public:
    virtual ~NetworkStatusWindow() = default;
    // Shows the window, or raises it when it is shown.
    virtual void Show() = 0;
};

// The dialogs the main window opens from its menus and toolbar; it owns them.
struct Dialogs {
    std::unique_ptr<HardwareDialog> hardware;
    std::unique_ptr<NetworkDialog> network;
    std::unique_ptr<FiltDialog> filter;
    std::unique_ptr<AnalyzerDialog> analyzer;
    std::unique_ptr<NetworkStatusWindow> status;
};
