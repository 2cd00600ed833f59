#pragma once

// gtest before FLTK: X11 headers define None.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Tree.H>
#include <FL/Fl_Window.H>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "hw/can_reader.h"
#include "hw/cards.h"
#include "session/session.h"
#include "session/settings.h"
#include "sim/emulation_test_support.h"
#include "sim/simulated_cards.h"
#include "store/msg_store.h"
#include "support/test_support.h"
#include "ui/main_frame_fltk.h"
#include "ui/msg_detail.h"
#include "ui/msg_list.h"
#include "ui/windows.h"

// The widget labelled label in group or in a group inside it, the first in child order; null
// when there is none.
Fl_Widget* FindLabelled(Fl_Group* group, const std::string& label);
// The same, where a missing widget is a test failure; group itself then stands in, so that the
// test goes on to its other checks.
Fl_Widget* Labelled(Fl_Group* group, const std::string& label);

// What the test does in a modal window: file (when not empty) typed into the file chooser, then
// the button labelled button pressed; without a button the window is closed. A check button is
// toggled instead, and the window stays for the next answer.
struct Answer {
    std::string file, button;
};
// Runs action while the modal windows that open in turn get the answers; what each showed, "|"
// between: its title, else its message. (A modal window left open for kPatience fails the test
// and is closed.)
std::string Answering(std::vector<Answer> answers, const std::function<void()>& action);
// The message of the alert that action opens, which is then closed; "(no alert)" when none did.
std::string CaptureAlert(const std::function<void()>& action);

// Runs the event loop a little, then draws.
void Settle();
// Runs the event loop until done(); false when it still does not hold after kPatience.
bool UntilUi(const std::function<bool()>& done);

// xdotool's events, sent through the X server while the event loop runs; then the loop runs
// until they had their effect, done.
void Xdo(std::vector<std::string> args, const std::function<bool()>& done);
// Keys sent to window: command "key" with key names, or "type" with text; a space between two.
void Keys(Fl_Window* window, const std::string& command, const std::string& keys,
          const std::function<bool()>& done);

// Draws the window once it is on the screen.
void Redraw(Fl_Window& window);
// The pixels of a rectangle of the window, redrawn, that are dark (text) and blue (highlight).
struct Ink {
    int dark = 0, blue = 0;
};
Ink InkIn(Fl_Window& window, int x, int y, int w, int h);
// The rows of a rectangle of the window, redrawn (else as its updates left it), with a pixel of
// colour c.
std::set<int> RowsWith(Fl_Window& window, int x, int y, int w, int h, Fl_Color c,
                       bool redrawn = true);

// A click of the left mouse button (with modifier held, when given) at (x, y) in window, sent as
// Xdo sends it; then done.
void ClickAt(Fl_Window* window, int x, int y, const std::function<bool()>& done,
             const std::string& modifier = "");

// Every item of the tree by path, " " between; "!" after a red one, "*" after a selected one.
std::string TreeText(Fl_Tree* tree);

// The main window that dialogs open beside, at (200, 150), with the detail view of the list.
struct StubFrame : MainFrame {
    void OpenLogFile(const std::string&) override {}
    void GetXY(int& x, int& y) override {
        x = 200;
        y = 150;
    }
    MsgDetail* GetMsgDetail() override { return detail; }
    void SetDialogs(Dialogs) override {}
    FrameSelection SelectFrame(StoreIndex) override { return FrameSelection::kNotStored; }
    MsgDetail* detail = nullptr;
};

// A shown window with the message list above the detail view it hands its selection to, over a
// store decoded by the raw decoder.
class MsgViewsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session.SetParserMode(PARSE_RAW);
        window = std::make_unique<Fl_Window>(500, 400);
        list = static_cast<MsgListFLTK*>(CreateMsgList(0, 0, 500, 200, session, prefs, &frame));
        detail = static_cast<MsgDetailFLTK*>(CreateMsgDetail(0, 200, 500, 200, session, prefs));
        frame.detail = detail;
        window->end();
        window->show();
        Settle();
    }
    // Adds count frames 1 ms apart from 1 ms, their identifiers alternating id and id + 1, with
    // the bytes 0x11, 0x22, ...; the last one's index.
    StoreIndex Add(int count, uint32_t id = 0x181, int length = 1, int type = FRAME_DATA) {
        CANframe f;
        f.type = type;
        f.length = length;
        for (int i = 0; i < 8; i++) f.data[i] = static_cast<uint8_t>(0x11 * (i + 1));
        for (int i = 0; i < count; i++) {
            f.id = id + (i % 2);
            f.timestamp += 1000;
            session.store().Add(f);
        }
        return session.store().GetLast();
    }
    static void Key(Fl_Widget* view, int key) {
        Fl::e_keysym = key;
        view->handle(FL_KEYDOWN);
    }
    // Pushes the left mouse button at (x, y) on view; whether it took the push.
    static int Push(Fl_Widget* view, int x, int y) {
        Fl::e_x = x;
        Fl::e_y = y;
        Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
        return view->handle(FL_PUSH);
    }

    QL_Settings prefs;
    Session session{nullptr, nullptr, 1000};
    StubFrame frame;                    // the window the list reports its selection through
    std::unique_ptr<Fl_Window> window;  // the list and the detail view, before the session goes
    MsgListFLTK* list = nullptr;
    MsgDetailFLTK* detail = nullptr;
};

// The window as the program builds it, decoded as CANopen, over a session whose readers open the
// CAN ports of the cards an emulation describes (none: the system's calls).
class ProgramWindowTest : public ::testing::Test {
  protected:
    // emulation: the body of an [Emulation] block, or empty; netCfg: a network configuration
    // loaded before the window is built, or null.
    void Build(int capacity, const std::string& emulation = "", const char* netCfg = nullptr) {
        if (!emulation.empty()) {
            WriteFile(dir.file("emu.cfg"), Block("Emulation", emulation));
            simulated = std::make_unique<SimulatedCards>(dir.file("emu.cfg").c_str());
        }
        cards = std::make_unique<Cards>(Driver(), SocketCanPorts::LeftOut);
        cards->ports().Scan(false);  // so that the tests can name the ports' nodes
        portOpener = std::make_unique<CanPortOpener>(*cards);
        session = std::make_unique<Session>(portOpener.get(), cards.get(), capacity);
        session->SetParserMode(PARSE_CANOPEN);
        ASSERT_EQ(netCfg ? session->network().Load(netCfg) : nullptr, nullptr);
        frame = std::make_unique<MainFrameFLTK>(*session, prefs);
    }
    EmulatedDriver* Driver() { return simulated ? simulated->driver() : nullptr; }
    void TearDown() override {
        if (session) session->readers().StopAll();
    }
    void Pick(const char* path) { frame->menuBar->picked(frame->menuBar->find_item(path)); }
    MsgStore& Store() { return session->store(); }
    int Total() { return Store().GetTotal(nullptr, nullptr); }
    MsgListFLTK& List() { return *static_cast<MsgListFLTK*>(frame->msgList); }

    TempDir dir;
    QL_Settings prefs{dir.path()};  // kept in the test's own folder
    std::unique_ptr<SimulatedCards> simulated;
    std::unique_ptr<Cards> cards;
    std::unique_ptr<CanPortOpener> portOpener;  // the readers' CAN ports
    std::unique_ptr<Session> session;
    std::unique_ptr<MainFrameFLTK> frame;  // before the session it shows goes
};
