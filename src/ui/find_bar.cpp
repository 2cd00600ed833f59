#include "ui/find_bar.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "session/session.h"
#include "store/filt_store.h"
#include "ui/background_work.h"
#include "ui/msg_list.h"

namespace {

// How often a running search's progress is shown.
constexpr double kProgressTick = 0.1;
// Longer than any wait: FLTK's own "forever".
constexpr double kForever = 1e20;

FindBar* Self(void* data) {
    return static_cast<FindBar*>(data);
}

void cb_progress(void* data) {
    Self(data)->ShowProgress();
    Fl::repeat_timeout(kProgressTick, cb_progress, data);
}

void cb_field(Fl_Widget*, void* data) {
    if (Self(data)->mode() == FindBar::Mode::kGoTo)
        Self(data)->GoTo();
    else
        Self(data)->FindNext(!Fl::event_state(FL_SHIFT));
}

void cb_next(Fl_Widget*, void* data) {
    if (Self(data)->mode() == FindBar::Mode::kGoTo)
        Self(data)->GoTo();
    else
        Self(data)->FindNext(true);
}

void cb_previous(Fl_Widget*, void* data) {
    Self(data)->FindNext(false);
}

void cb_what(Fl_Widget*, void* data) {
    Self(data)->Open(Self(data)->mode());
}

}  // namespace

FindBar::FindBar(int x, int y, int w, int h, Session& session, MsgListFLTK& list, Fl_Widget& above)
    : Fl_Group(x, y, w, h), session(session), list(list), above(above) {
    box(FL_FLAT_BOX);
    what = new Fl_Choice(x + 4, y + 3, 80, h - 6);
    what->add("ID|Data|Text|Go to");
    what->value(0);
    what->tooltip(
        "What to match: identifier (hex), data bytes (40 ?? 10 *), Value text; or go "
        "to a message number (#1234) or a time (12.5s)");
    what->callback(cb_what, this);
    field = new Fl_Input(x + 88, y + 3, 220, h - 6);
    field->when(FL_WHEN_ENTER_KEY_ALWAYS);
    field->callback(cb_field, this);
    field->tooltip("Enter: next, Shift+Enter: previous, Escape: cancel or close");
    previous = new Fl_Button(x + 312, y + 3, 75, h - 6, "Previous");
    previous->callback(cb_previous, this);
    next = new Fl_Button(x + 391, y + 3, 60, h - 6, "Next");
    next->callback(cb_next, this);
    message = new Fl_Box(x + 457, y + 3, w - 461, h - 6);
    message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    end();
    resizable(message);
    hide();
}

FindBar::~FindBar() {
    Fl::remove_timeout(cb_progress, this);
}

void FindBar::Say(const std::string& text) {
    message->copy_label(text.c_str());
    message->copy_tooltip(text.empty() ? nullptr : text.c_str());  // for a message cut short
    message->redraw();
}

std::string FindBar::Message() const {
    return message->label() ? message->label() : "";
}

void FindBar::SetMode(Mode chosen) {
    const bool wasGoTo = mode() == Mode::kGoTo;
    const bool goTo = chosen == Mode::kGoTo;
    if (wasGoTo != goTo) {
        // The field keeps a text for finds and one for go-tos.
        (wasGoTo ? goToText : findText) = field->value();
        field->value((goTo ? goToText : findText).c_str());
    }
    what->value(static_cast<int>(chosen));
    if (!goTo) lastFind = chosen;
    previous->activate();
    if (goTo) previous->deactivate();
    next->label(goTo ? "Go" : "Next");
}

void FindBar::Open(Mode chosen) {
    SetMode(chosen);
    if (!visible()) {
        // Under above, which gives up the bar's height.
        above.resize(above.x(), above.y(), above.w(), above.h() - h());
        resize(above.x(), above.y() + above.h(), above.w(), h());
        show();
        Say("");
        window()->redraw();
    }
    Fl::focus(field);
    field->position(field->size(), 0);
}

void FindBar::Close() {
    if (searching) {
        progress.cancel = true;
        return;
    }
    if (!visible()) return;
    hide();
    above.resize(above.x(), above.y(), above.w(), above.h() + h());
    window()->redraw();
    Fl::focus(&list);
}

int FindBar::handle(int event) {
    if ((event == FL_KEYBOARD || event == FL_SHORTCUT) && Fl::event_key() == FL_Escape &&
        visible()) {
        Close();
        return 1;
    }
    return Fl_Group::handle(event);
}

void FindBar::ShowProgress() {
    Say(Format("Searching... %d %%", progress.percent.load()));
}

void FindBar::Stop() {
    progress.cancel = true;
    while (working) Fl::wait(kForever);  // the search's end wakes it (RunBesideWindows)
}

StoreIndex FindBar::Run(const FrameMatch& match, StoreIndex from, bool forward, bool wrap,
                        const std::string& notFound) {
    if (searching) return -1;
    searching = true;
    progress.cancel = false;
    progress.percent = 0;
    Say("Searching...");
    Fl::add_timeout(kProgressTick, cb_progress, this);
    FindResult result;
    std::string failed;  // why no search ran
    RowFinder finder(session.view(), session.store(), session.decoder());
    working = true;
    try {
        RunBesideWindows([&] {
            // Its end is told before the thread ends: Stop returns once the search is done.
            struct Ended {
                std::atomic<bool>& working;
                ~Ended() { working = false; }
            } ended{working};
            result = finder.Find(match, from, forward, wrap, progress);
        });
    } catch (const QuillonError& e) {
        working = false;  // its thread never started, or has ended
        result.end = FindEnd::kCancelled;
        failed = e.message;
    }
    Fl::remove_timeout(cb_progress, this);
    searching = false;
    // Stopped after its row was found (Clear, Play, a filter applied): the row may be another
    // frame's by now, or gone.
    if (progress.cancel) {
        result.end = FindEnd::kCancelled;
        result.row = -1;
    }
    switch (result.end) {
        case FindEnd::kFound:
            Say("");
            break;
        case FindEnd::kWrapped:
            Say(forward ? "Past the end: found from the top" : "Past the top: found from the end");
            break;
        case FindEnd::kNotFound:
            Say(notFound);
            break;
        case FindEnd::kCancelled:
            Say(failed.empty() ? "Cancelled" : failed);
            break;
    }
    if (result.row >= 0) list.Select(result.row);
    return result.row;
}

bool FindBar::Rebuilding() {
    if (!list.rebuilding) return false;
    Say("Not now: the list is being rebuilt");
    return true;
}

void FindBar::FindNext(bool forward) {
    if (searching) return;
    if (mode() == Mode::kGoTo) SetMode(lastFind);
    if (!*field->value()) {
        Open(mode());
        Say("Type what to find, then Enter");
        return;
    }
    if (!visible()) Open(mode());
    if (Rebuilding()) return;
    try {
        const FrameMatch match =
            FrameMatch::Parse(static_cast<MatchField>(static_cast<int>(mode())), field->value());
        // From beside the selected row, or the first row in view.
        StoreIndex from = list.topIndex;
        if (list.selFrame >= 0) {
            const StoreIndex at = session.view().FindNdx(list.selFrame);
            if (at >= 0 && session.view().GetStoreIndex(at) == list.selFrame)
                from = forward ? at + 1 : at - 1;
        }
        Run(match, from, forward, true, "Not found");
    } catch (const QuillonError& e) {
        Say(e.message);
    }
}

void FindBar::GoTo() {
    if (searching || Rebuilding()) return;
    try {
        const GoToTarget target = ParseGoTo(field->value());
        if (target.time) {
            Run(FrameMatch::AtTime(target.micros), session.view().GetFirst(), true, false,
                Format("No row at or after %s", field->value()));
            return;
        }
        const StoreIndex row =
            RowFinder(session.view(), session.store(), nullptr).RowOfNumber(target.number);
        if (row < 0) {
            Say(Format("No row at or after #%lld", static_cast<long long>(target.number)));
            return;
        }
        Say("");
        list.Select(row);
    } catch (const QuillonError& e) {
        Say(e.message);
    }
}
