#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>

#include <atomic>
#include <string>

#include "session/frame_match.h"
#include "session/row_finder.h"

class MsgListFLTK;
class Session;

// The main window's find bar, under the message list and the detail view: finds the next or
// previous row of the list whose identifier, data bytes or Value text matches what is typed
// (FrameMatch), or goes to a message number or a time. A search runs beside the windows, which
// stay live and show its progress; Escape cancels it, or else closes the bar.
//
// What it finds from: the row after the selected one (before it, backward), or the first row in
// view when none is selected; past the end it goes on from the other end and says so.
class FindBar : public Fl_Group {
  public:
    // What the choice offers, in its order; the finds in MatchField's.
    enum class Mode { kId, kData, kText, kGoTo };

    // A hidden bar, h high; shown, it takes its height from the bottom of above (the tile of
    // the list and the detail view), and gives it back when closed.
    FindBar(int x, int y, int w, int h, Session& session, MsgListFLTK& list, Fl_Widget& above);
    ~FindBar() override;

    // Shows the bar (when hidden) for a find or a go-to, the field focused and selected.
    void Open(Mode mode);
    // Opens it for the kind of find last used.
    void OpenFind() { Open(lastFind); }
    // Hides the bar, the list focused; cancels a running search instead.
    void Close();
    // The next row that matches, or the previous one; opens the bar when there is nothing to
    // find yet. Neither this nor GoTo looks for anything while the list's view is rebuilt.
    void FindNext(bool forward);
    // Selects the row the field names: a message number or a time.
    void GoTo();
    // Cancels a running search and returns once it has ended (before the store is cleared, the
    // decoder changes or the view is rebuilt); it selects nothing.
    void Stop();
    bool Searching() const { return searching; }
    Mode mode() const { return static_cast<Mode>(what->value()); }
    // The message shown: "Not found", "Searching... 40 %", ...
    std::string Message() const;

    int handle(int event) override;
    // Shows the running search's progress (its timer, GUI thread).
    void ShowProgress();

    Fl_Choice* what;  // children
    Fl_Input* field;
    Fl_Button* previous;
    Fl_Button* next;
    Fl_Box* message;

  private:
    // Runs the search beside the windows and selects the row found; that row, or -1 with
    // notFound or why shown (a search stopped selects nothing).
    StoreIndex Run(const FrameMatch& match, StoreIndex from, bool forward, bool wrap,
                   const std::string& notFound);
    void Say(const std::string& text);
    // Whether the list's view is being rebuilt, its rows not all there yet: then says so, and
    // nothing is looked for.
    bool Rebuilding();
    void SetMode(Mode mode);

    Session& session;
    MsgListFLTK& list;
    Fl_Widget& above;
    FindProgress progress;
    bool searching = false;            // GUI thread
    std::atomic<bool> working{false};  // the search's thread runs (Stop waits for its end)
    Mode lastFind = Mode::kId;         // the find the field was last used for
    std::string findText, goToText;    // the field's text of the other use
};
