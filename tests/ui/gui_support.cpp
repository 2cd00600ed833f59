#include "ui/gui_support.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "support/test_support.h"

namespace {

// FLTK's own file chooser, whose widgets a test can answer, in place of GTK's. FLTK chooses once,
// when the process makes its first chooser.
const bool fltkChooser = (Fl::option(Fl::OPTION_FNFC_USES_GTK, false), true);

// The title of a modal window, else its message: the first labelled box (the icon box comes
// later).
std::string TextOf(Fl_Window* modal) {
    if (modal->label() && *modal->label()) return modal->label();
    for (int i = 0; i < modal->children(); i++)
        if (dynamic_cast<Fl_Box*>(modal->child(i)) && modal->child(i)->label())
            return modal->child(i)->label();
    return "";
}

std::vector<Answer> answers;
std::string shown;
void AnswerModal(void*) {
    Fl_Window* modal = Fl::modal();
    Fl_Widget* button = !modal || !modal->visible() ? nullptr
                        : answers[0].button.empty() ? modal
                                                    : FindLabelled(modal, answers[0].button);
    if (!button) return Fl::repeat_timeout(0.02, AnswerModal);
    if (auto* check = dynamic_cast<Fl_Check_Button*>(button)) {  // ticked; the window stays
        answers.erase(answers.begin());
        check->value(!check->value());
        check->do_callback();
        if (!answers.empty()) Fl::repeat_timeout(0.02, AnswerModal);
        return;
    }
    shown += (shown.empty() ? "" : "|") + TextOf(modal);
    if (!answers[0].file.empty())
        static_cast<Fl_File_Chooser*>(modal->user_data())->value(answers[0].file.c_str());
    answers.erase(answers.begin());
    if (button == modal)
        modal->hide();
    else
        button->do_callback();
    if (!answers.empty()) Fl::repeat_timeout(0.02, AnswerModal);
}

// A modal window that nothing closes keeps the test in its event loop for ever, as an alert
// that no test expects does: once the same window has been modal for kPatience, the running
// test fails with its text and the window is closed. Looks twice a second while the event loop
// runs, for the whole run.
Fl_Window* watched = nullptr;
std::chrono::steady_clock::time_point since;
void WatchModal(void*) {
    const auto now = std::chrono::steady_clock::now();
    Fl_Window* modal = Fl::modal();
    if (modal != watched) {
        watched = modal;
        since = now;
    } else if (modal && now - since >= kPatience) {
        ADD_FAILURE() << "Closed a window left modal for " << kPatience.count()
                      << " s: " << TextOf(modal);
        modal->hide();
        watched = nullptr;
    }
    Fl::repeat_timeout(0.5, WatchModal);
}
const bool watching = (Fl::add_timeout(0.5, WatchModal), true);

std::unique_ptr<uchar[]> Read(Fl_Window& window, int x, int y, int w, int h, bool redrawn) {
    if (redrawn)
        Redraw(window);
    else
        Settle();
    window.make_current();
    return std::unique_ptr<uchar[]>(fl_read_image(nullptr, x, y, w, h));
}

}  // namespace

Fl_Widget* FindLabelled(Fl_Group* group, const std::string& label) {
    for (int i = 0; i < group->children(); i++) {
        Fl_Widget* w = group->child(i);
        if (w->label() && label == w->label()) return w;
        if (Fl_Group* inner = w->as_group())
            if (Fl_Widget* found = FindLabelled(inner, label)) return found;
    }
    return nullptr;
}

Fl_Widget* Labelled(Fl_Group* group, const std::string& label) {
    if (Fl_Widget* w = FindLabelled(group, label)) return w;
    ADD_FAILURE() << "no widget labelled " << label;
    return group;
}

std::string Answering(std::vector<Answer> given, const std::function<void()>& action) {
    answers = given;
    shown.clear();
    Fl::add_timeout(0.02, AnswerModal);
    action();
    Fl::remove_timeout(AnswerModal);
    return shown;
}

std::string CaptureAlert(const std::function<void()>& action) {
    const std::string text = Answering({{}}, action);
    return text.empty() ? "(no alert)" : text;
}

void Settle() {
    for (int i = 0; i < 5; i++) Fl::wait(0.02);
    Fl::flush();
}

bool UntilUi(const std::function<bool()>& done) {
    return WaitUntil(done, [] { Fl::wait(0.01); });
}

void Redraw(Fl_Window& window) {
    window.wait_for_expose();
    window.redraw();
    Settle();
}

Ink InkIn(Fl_Window& window, int x, int y, int w, int h) {
    const std::unique_ptr<uchar[]> rgb = Read(window, x, y, w, h, true);
    Ink ink;
    for (int i = 0; rgb && i < w * h; i++) {
        const uchar r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        ink.blue += b > 150 && r < 100 && g < 100;
        ink.dark += r < 80 && g < 80 && b < 80;
    }
    return ink;
}

std::string TreeText(Fl_Tree* tree) {
    std::string s;
    for (Fl_Tree_Item* i = tree->next(tree->first()); i; i = tree->next(i)) {
        char path[256];
        tree->item_pathname(path, sizeof path, i);
        s += std::string(s.empty() ? "" : " ") + path + (i->labelfgcolor() == FL_RED ? "!" : "") +
             (i->is_selected() ? "*" : "");
    }
    return s;
}

std::set<int> RowsWith(Fl_Window& window, int x, int y, int w, int h, Fl_Color c, bool redrawn) {
    uchar r, g, b;
    Fl::get_color(c, r, g, b);
    const std::unique_ptr<uchar[]> rgb = Read(window, x, y, w, h, redrawn);
    std::set<int> rows;
    for (int i = 0; rgb && i < w * h; i++)
        if (rgb[3 * i] == r && rgb[3 * i + 1] == g && rgb[3 * i + 2] == b) rows.insert(y + i / w);
    return rows;
}

void Xdo(std::vector<std::string> args, const std::function<bool()>& done) {
    args.insert(args.begin(), {"/usr/bin/timeout", "60", "/usr/bin/xdotool"});
    std::atomic<int> status{-2};
    std::thread xdotool([&] { status = RunProcess(args).exitCode; });
    while (status == -2) Fl::wait(0.01);
    xdotool.join();
    XSync(fl_display, False);
    Fl::check();
    EXPECT_EQ(status, 0) << args[3];
    EXPECT_TRUE(UntilUi(done)) << args[3] << " " << args.back();
}

void ClickAt(Fl_Window* window, int x, int y, const std::function<bool()>& done,
             const std::string& modifier) {
    std::vector<std::string> args = {"mousemove", "--window", std::to_string(fl_xid(window)),
                                     std::to_string(x), std::to_string(y)};
    if (!modifier.empty()) args.insert(args.end(), {"keydown", modifier});
    args.insert(args.end(), {"click", "1"});
    if (!modifier.empty()) args.insert(args.end(), {"keyup", modifier});
    Xdo(args, done);
}

void Keys(Fl_Window* window, const std::string& command, const std::string& keys,
          const std::function<bool()>& done) {
    std::vector<std::string> args = {"windowfocus", "--sync", std::to_string(fl_xid(window)),
                                     command};
    std::istringstream words(keys);
    for (std::string word; words >> word;) args.push_back(word);
    Xdo(args, done);
}
