#pragma once

#include <FL/Fl_Widget.H>

#include <atomic>
#include <string>

#include "store/array.h"
#include "store/storage.h"
#include "ui/scroll_win.h"
#include "ui/windows.h"

class QL_Settings;
class Session;

// The message list as the main window sees it.
class MsgList {
  public:
    virtual ~MsgList() = default;
    virtual Fl_Widget* asFlWidget() = 0;
    // Switches the Time column between absolute time and the time since the previous row.
    virtual void ToggleDeltaTime() = 0;
    // Shows or hides the Data column, the frames' data bytes beside their decoded text.
    virtual void ShowRawData(bool on) = 0;
    // Selects the row of the frame at store index, when the filtered view holds it.
    virtual FrameSelection SelectFrame(StoreIndex index) = 0;
    // Goes to the newest frame and follows the frames that arrive from now on (End).
    virtual void Follow() = 0;
    // Whether the list follows the newest frames; when it does not, the message number it is
    // paused at: the selected frame's, else the first row's (-1 for none).
    virtual bool Following() const = 0;
    virtual StoreIndex PausedAt() = 0;
};

// The texts of one row of the list, column by column; empty where the row shows nothing.
struct MsgRowTexts {
    std::string port, msg, time, id, dlc, data, value;
};

// One line per frame of the filtered view under a header (Port, Msg #, Time, ID, DLC, Data when
// shown, Value). It follows the newest frames while auto-scroll is on, selects frames by keyboard
// and mouse, hands the selection to the detail view and marks the frames of the selected frame's
// exchange. Following pauses when the user selects a row or moves the view away from the end
// (keys, wheel, scrollbar, Home); End, Follow, a scroll back to the end or the store's clearing
// resume it.
//
// Reader threads only set newData (AddStore); a timer on the GUI thread, ten times a second,
// moves the view and redraws, so a burst of frames costs one redraw per tick. Only the rows in
// view are fetched, decoded and drawn. The horizontal scrollbar moves the columns.
class MsgListFLTK : public MsgList, public ScrollWin, public StoreListener {
  public:
    // session: the filtered view it shows, the store, the current decoder. prefs: the font.
    // owner: the window whose detail view shows the selection; may be null.
    MsgListFLTK(int x, int y, int w, int h, Session& session, const QL_Settings& prefs,
                MainFrame* owner);
    ~MsgListFLTK() override;

    Fl_Widget* asFlWidget() override { return this; }
    void ToggleDeltaTime() override;
    void ShowRawData(bool on) override;
    FrameSelection SelectFrame(StoreIndex index) override;
    void Follow() override;
    bool Following() const override { return autoScroll; }
    StoreIndex PausedAt() override;
    void draw_content(int x, int y, int w, int h, int xoff, int yoff) override;
    void content_size(int& w, int& h) override;
    int handle(int event) override;
    void AddStore(StoreIndex first, StoreIndex last, int total) override;
    void ResetStarts() override;
    void StoreReset() override;
    void OffsetsChanged() override;

    // Frame rows that fit under the header.
    int Lines() const;
    // The Time column of the frame at a filtered position: absolute, or the time since the
    // nearest frame above, text lines left out (0 for the first).
    std::string TimeText(StoreIndex position, const CANframe& frame);
    // The texts of the row of the frame at a filtered position, held at store index index. The
    // decoder's description may raise frame's status, which colours the row.
    MsgRowTexts RowTexts(StoreIndex position, StoreIndex index, CANframe& frame);
    // One timer run: measures the font, follows new frames.
    void Tick();
    // Selects the row at filtered position k (clamped), shows it and hands it on (the detail
    // view, the owner).
    void Select(StoreIndex k);

    std::atomic<bool> newData{false};  // set by reader threads, cleared by the timer
    int lineHeight = -1;
    int msgCol = 0, timeCol = 0, idCol = 0, dlcCol = 0, dataCol = 0, valueCol = 0, portCol = 0;
    int dataWidth = 0;  // the Data column's, when shown
    bool deltaTime = false;
    bool rawData = false;  // the Data column is shown
    bool autoScroll = true;
    // Filtered positions are the view's running indexes; the scrollbar counts rows from the
    // view's first.
    StoreIndex selIndex = -1;  // filtered position of the selection
    StoreIndex selFrame = -1;  // its store index
    Array<StoreIndex> txList;  // store indexes of the selected frame's exchange, ascending
    StoreIndex topIndex = 0;   // filtered position of the first row under the header
    // While the view is rebuilt (from ResetStarts to StoreReset): the store index of the frame
    // on the first row before, where the list goes back to when nothing is selected; -1 for the
    // end.
    bool rebuilding = false;
    StoreIndex resetTop = -1;
    bool moving = false;  // the list, not the user, moves the scrollbars
    int seenYoff = 0;     // the vertical offset OffsetsChanged last saw

  private:
    Session& session;
    const QL_Settings& prefs;
    MainFrame* const owner;
    bool Measure();
    StoreIndex MaxTop();
    void SetTop(StoreIndex top);
    // Takes the offsets from the scrollbars after the list moved them itself.
    void ReadOffsets();
    void ScrollBy(int lines);
    void Center();
    bool SelectionVisible() const;
};

// A new list in the current group (which owns it), listening to session's filtered view, with its
// timer running.
MsgList* CreateMsgList(int x, int y, int w, int h, Session& session, const QL_Settings& prefs,
                       MainFrame* owner);
