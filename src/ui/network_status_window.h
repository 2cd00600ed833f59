#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Tabs.H>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "status/network_status.h"
#include "ui/status_table_view.h"
#include "ui/windows.h"

class Session;

// The network status window ("Network status"): port and node filters, "Only filtered frames"
// and Copy above three tabs (Nodes, Identifiers, Transfers) of status tables, and a status line
// with the frames counted and what the tables leave out. While it is shown a 0.2 s timer takes a
// snapshot of the session's network status (of the frames the display filter passes, with "Only
// filtered frames") and updates the tables, keeping their order and selection. The window keeps
// the transfers that ended itself, at most NetworkStatus::kMaxTransfers, and asks only for the
// new ones; it starts again when the status was restarted (a Clear, another decoder, a filter
// rebuilt). Selecting a transfer selects its first frame in the main window's list. Built on the
// first Show(); GUI thread only.
class NetworkStatusWindowFLTK : public NetworkStatusWindow {
  public:
    // session: whose status it shows and the decoder and configuration that name it. owner: the
    // window it opens beside and whose list selects a transfer's frame; may be null.
    NetworkStatusWindowFLTK(Session& session, MainFrame* owner);
    ~NetworkStatusWindowFLTK() override;
    NetworkStatusWindowFLTK(const NetworkStatusWindowFLTK&) = delete;
    NetworkStatusWindowFLTK& operator=(const NetworkStatusWindowFLTK&) = delete;

    void Show() override;

    // The timer runs while the window is shown.
    void StartUpdates();
    void StopUpdates();
    // One update from a snapshot; without force, only when frames were counted since the last.
    void Refresh(bool force);
    // The port and node fields applied to the tables.
    void Filter();
    // "Only filtered frames" on or off: the session's filtered status is followed, its view
    // rebuilt while the windows stay live.
    void FollowFiltered(bool on);
    // Copies the selected rows of the current tab, with the header line, to the clipboard.
    void Copy();
    // Selects the frame at store index in the main window's list, or says why it cannot.
    void GoToFrame(int64_t index);
    StatusTableView* Current();
    // The status line, shown anew.
    void ShowStatus();

    std::unique_ptr<Fl_Double_Window> window;  // null until first built
    Fl_Input* portInput = nullptr;             // children of window
    Fl_Input* nodeInput = nullptr;
    Fl_Check_Button* filteredButton = nullptr;
    Fl_Button* copyButton = nullptr;
    Fl_Tabs* tabs = nullptr;
    StatusTableView* nodes = nullptr;
    StatusTableView* ids = nullptr;
    StatusTableView* transfers = nullptr;
    Fl_Box* statusLine = nullptr;
    std::string message;  // what became of the last transfer's frame asked for, "" when selected

  private:
    void Build();
    // Forgets the transfers taken (the status was restarted or another one is shown).
    void Restart();

    Session& session;
    MainFrame* const owner;
    bool updating = false;    // the timer runs
    bool following = false;   // the filtered status is shown
    bool rebuilding = false;  // the filtered view is rebuilt (FollowFiltered)
    uint64_t frames = 0;      // counted at the last update
    // The transfers that ended: sequence number of the next to take, the last taken, the rows of
    // those kept and of the ones under way at the last update, those dropped.
    uint64_t nextTransfer = 0;
    TransferRecord lastTransfer;
    size_t endedRows = 0;
    size_t openRows = 0;
    uint64_t dropped = 0;
    std::array<std::vector<std::string>, 3> notes;  // of the tables, by tab
};

// The program's network status window, without a window until it is first shown.
std::unique_ptr<NetworkStatusWindow> CreateNetworkStatusWindow(Session& session, MainFrame* owner);
