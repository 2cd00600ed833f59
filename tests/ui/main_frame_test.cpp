// gtest before FLTK: X11 headers define None.
#include <gtest/gtest.h>

#include "ui/main_frame_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/utils.h"
#include "decode/parser.h"
#include "hw/can_intf.h"
#include "hw/can_reader.h"
#include "hw/cards.h"
#include "session/cmd_line.h"
#include "session/session.h"
#include "session/settings.h"
#include "sim/emulation_test_support.h"
#include "store/msg_store.h"
#include "support/test_support.h"
#include "ui/alert_capture.h"
#include "ui/hardware_dialog.h"
#include "ui/icons.h"
#include "ui/widget_lookup.h"

namespace {

// FLTK's own file chooser, whose widgets a test can answer, in place of GTK's.
const bool fltkChooser = (Fl::option(Fl::OPTION_FNFC_USES_GTK, false), true);

// Answers the next file chooser with the file chosen and its OK button.
std::string chosen;
void ChooseFile(void*) {
    Fl_Window* modal = Fl::modal();
    Fl_Widget* ok = modal && modal->visible() ? FindLabelled(modal, "OK") : nullptr;
    if (!ok) return Fl::repeat_timeout(0.02, ChooseFile);
    static_cast<Fl_File_Chooser*>(modal->user_data())->value(chosen.c_str());
    ok->do_callback();
}

// The window as the program builds it, over a session whose readers open the CAN ports of the
// machine's own cards, with the hardware dialog it opens.
class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override { Build(nullptr); }
    void TearDown() override {
        session->readers().StopAll();
        frame.reset();
        session.reset();
        portOpener.reset();
        cards.reset();
    }
    // The cards over driver (the system's calls for null), and the session and the window over
    // them.
    void Build(DriverCalls* driver) {
        cards = std::make_unique<Cards>(driver, SocketCanPorts::LeftOut);
        cards->ports().Scan(false);  // so that the tests can name the ports' nodes
        portOpener = std::make_unique<CanPortOpener>(*cards);
        session = std::make_unique<Session>(portOpener.get(), cards.get(), 100000);
        session->SetParserMode(PARSE_CANOPEN);
        frame = std::make_unique<MainFrameFLTK>(*session, prefs);
        Dialogs dialogs;
        dialogs.hardware = CreateHardwareDialog(*cards, session->ports(), frame.get());
        frame->SetDialogs(std::move(dialogs));
    }
    bool MenuActive(const char* path) {
        const Fl_Menu_Item* item = frame->menuBar->find_item(path);
        return item && item->active();
    }
    // Runs the event loop until done(); false when it still does not hold after kPatience.
    template <typename Done>
    static bool WaitFor(Done done) {
        return WaitUntil(done, [] { Fl::wait(0.01); });
    }
    MsgStore& Store() { return session->store(); }

    QL_Settings prefs;
    std::unique_ptr<Cards> cards;
    std::unique_ptr<CanPortOpener> portOpener;  // the readers' CAN ports
    std::unique_ptr<Session> session;
    std::unique_ptr<MainFrameFLTK> frame;  // before the session it shows goes
};

TEST_F(MainFrameTest, LayoutAndToolStates) {
    // A tenth into the screen, at most 800 by 600 (the virtual screen is 1280x1024).
    int x, y;
    frame->GetXY(x, y);
    EXPECT_EQ(std::vector<int>({x, y, frame->window->w(), frame->window->h()}),
              std::vector<int>({128, 102, 800, 600}));
    EXPECT_EQ(Fl::focus(), frame->msgList->asFlWidget());
    EXPECT_EQ(frame->GetMsgDetail(), frame->msgDetail);
    EXPECT_FALSE(frame->Enabled(iconRecord));  // on no button
    frame->EnableMenu("&No/&Such", false);     // ignored
    frame->SetToolState(MainFrameFLTK::ToolState::Receiving);
    EXPECT_TRUE(!frame->Enabled(iconPlay) && frame->Enabled(iconStop));
    EXPECT_TRUE(!MenuActive("&File/&Open") && !MenuActive("&View/&Decoder"));
    frame->SetToolState(MainFrameFLTK::ToolState::Idle);
    EXPECT_TRUE(MenuActive("&View/&Decoder"));

    // Escape does not close the window (the close button would exit).
    Fl::e_number = FL_SHORTCUT;
    Fl::e_keysym = FL_Escape;
    frame->window->do_callback();
    EXPECT_TRUE(frame->window->shown());
}

TEST_F(MainFrameTest, AlertsOfPlaySaveAndOpen) {
    EXPECT_EQ(CaptureAlert([&] { frame->Play(); }),
              "No CAN cards found in system.\nPlease confirm that the hardware and drivers are "
              "installed properly and try again.");
    EXPECT_TRUE(frame->Enabled(iconPlay) && !frame->Enabled(iconStop));
    EXPECT_EQ(CaptureAlert([&] { frame->SaveFile(); }),
              "There are currently no CAN messages to save.\n\nIf you want to record new data as "
              "it's received, first press the 'play' button \nto start receiving CAN messages, "
              "then press 'save' to select a file.");

    EXPECT_EQ(CaptureAlert([&] { frame->OpenLogFile("/no/such/file.log"); }),
              "Error opening log file: Unable to open log file: /no/such/file.log");
    EXPECT_TRUE(frame->Enabled(iconOpen));
    EXPECT_EQ(CaptureAlert([&] { frame->About(); }),
              std::string("Quillon \n\nVersion ") + getVersion());
}

TEST_F(MainFrameTest, DecoderChoiceClearsTheStore) {
    Store().Add(CANframe());
    const Fl_Menu_Item* raw = frame->menuBar->find_item("&View/&Decoder/&Raw");
    ASSERT_NE(raw, nullptr);
    frame->menuBar->picked(raw);
    EXPECT_EQ(session->parserMode(), PARSE_RAW);
    EXPECT_EQ(Store().GetTotal(nullptr, nullptr), 0);
    EXPECT_FALSE(frame->menuBar->find_item("&View/&Decoder/&CANopen")->value());
    frame->menuBar->picked(frame->menuBar->find_item("&View/&Decoder/&CANopen"));
    EXPECT_EQ(session->parserMode(), PARSE_CANOPEN);
}

// The close button ends the program, once the running log writer has written everything.
[[noreturn]] void CloseWhileSaving(Session& session, MainFrameFLTK& frame,
                                   const std::string& path) {
    CANframe f;
    f.length = 1;
    for (int i = 0; i < 5000; i++) session.store().Add(f);
    session.StartWriting(path, true);
    Fl::e_number = FL_CLOSE;
    frame.window->do_callback();
    std::_Exit(3);  // not reached: Exit ends the process
}

TEST_F(MainFrameTest, CloseButtonExitsAfterTheWriterFinished) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The same path in the child process, which runs this test again from its start.
    const std::string path =
        testing::TempDir() + "quillon_closing_" + std::to_string(getuid()) + ".log";
    std::remove(path.c_str());
    EXPECT_EXIT(CloseWhileSaving(*session, *frame, path), testing::ExitedWithCode(0), "");
    const std::string saved = ReadFile(path);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 5000);
    std::remove(path.c_str());
}

TEST_F(MainFrameTest, ReplayRunsUntilTheEndOfTheFile) {
    TempDir dir;
    std::string log;
    for (int i = 0; i < 2000; i++) log += std::to_string(i) + " CAN0: 0x181 - 1 2\n";
    WriteFile(dir.file("replay.log"), log);
    Store().Add(CANframe());  // cleared by the replay
    frame->OpenLogFile(dir.file("replay.log"));
    EXPECT_FALSE(frame->Enabled(iconOpen));  // replaying
    EXPECT_TRUE(frame->Enabled(iconStop));
    EXPECT_TRUE(WaitFor([&] { return frame->Enabled(iconOpen); }));  // back to idle by itself
    EXPECT_EQ(Store().GetTotal(nullptr, nullptr), 2000);
    frame->Clear();
    EXPECT_EQ(Store().GetTotal(nullptr, nullptr), 0);
}

// Save writes the replayed frames in the format the file's extension names, as quillon-dump -o
// writes it, and quillon-dump reads them back as they were: compared as the frame lines of the
// program's own format, without text entries (a TRC header's column captions read back as one).
// Save is off while the writer runs.
TEST_F(MainFrameTest, SaveWritesTheFormatTheExtensionNames) {
    TempDir dir;
    const std::string replayed = TEST_DATA_DIR "/roundtrip.log";
    frame->OpenLogFile(replayed);
    ASSERT_TRUE(WaitFor([&] { return frame->Enabled(iconOpen); }));
    const auto dump = [](const std::string& format, const std::string& path) {
        return RunProcess({QUILLON_DUMP_BIN, "-o", format, path}).out;
    };
    const auto frames = [&](const std::string& path) {
        std::istringstream lines(dump("quillon", path));
        std::string kept;
        for (std::string line; std::getline(lines, line);)
            if (std::regex_search(line, std::regex("^ *[0-9]+ (CAN|RTR|ERROR)[0-9]+:")))
                kept += line + "\n";
        return kept;
    };
    for (const auto& [name, format] : {std::pair{"saved.log", "quillon"},
                                       {"saved", "quillon"},
                                       {"saved.candump", "candump"},
                                       {"saved.txt", "candump"},
                                       {"saved.asc", "asc"},
                                       {"saved.trc", "trc"}}) {
        chosen = dir.file(name);
        Fl::add_timeout(0.02, ChooseFile);
        frame->SaveFile();
        EXPECT_FALSE(frame->Enabled(iconSave));
        ASSERT_TRUE(WaitFor([&] { return frame->Enabled(iconSave); }));
        EXPECT_EQ(ReadFile(chosen), dump(format, replayed)) << name;
        EXPECT_EQ(frames(chosen), frames(replayed)) << name;
    }
}

// The emulated driver, except that the card of busyNode answers busy to "open port" (opcode 1).
class BusyOnOpen : public DriverCalls {
  public:
    explicit BusyOnOpen(DriverCalls& driver) : driver(driver) {}
    int Access(const char* path, int mode) override { return driver.Access(path, mode); }
    int Open(const char* path, int flags) override {
        const int fd = driver.Open(path, flags);
        if (path == busyNode) busyFd = fd;
        return fd;
    }
    int Close(int fd) override { return driver.Close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        auto* cmd = static_cast<uint32_t*>(arg);
        if (fd == busyFd && request == kIoctlCommand && cmd[0] == 0x00010000) {
            cmd[0] = 5u << 16;
            return 0;
        }
        return driver.Ioctl(fd, request, arg);
    }

    std::string busyNode;  // set on the GUI thread before Play
  private:
    DriverCalls& driver;
    std::atomic<int> busyFd{-1};  // read by the readers of the other ports
};

// Two ports of one card on a 1 Mbit/s bus whose flood outlasts every test.
class PlayTest : public MainFrameTest {
  protected:
    void SetUp() override { Build(&calls); }
    int Total() { return Store().GetTotal(nullptr, nullptr); }
    bool PlayPressed() {
        for (int i = 0; i < frame->toolbar->children(); i++)
            if (frame->toolbar->child(i)->image() == iconPlay)
                return static_cast<Fl_Button*>(frame->toolbar->child(i))->value() != 0;
        return false;
    }
    bool Receiving() {
        return !frame->Enabled(iconPlay) && PlayPressed() && frame->Enabled(iconStop) &&
               !frame->Enabled(iconOpen);
    }
    bool Idle() { return frame->Enabled(iconPlay) && !PlayPressed() && !frame->Enabled(iconStop); }

    TempDir dir;
    std::unique_ptr<EmulatedDriver> driver = DriverFrom(
        dir.path(), Block("Bus", "bitrate:1000000\n" + Block("Flood", "count:1000000\n")) +
                        Block("Card", Block("Port", "bus:0\n") + Block("Port", "bus:0\n")));
    BusyOnOpen calls{*driver};
};

TEST_F(PlayTest, PlayReadsEveryPortUntilStop) {
    frame->Play();
    EXPECT_TRUE(Receiving());
    bool seen[2] = {};
    int checked = 0;
    const bool seenBoth = WaitFor([&] {
        for (CANframe f; checked < Total(); checked++) {
            if (!Store().Get(checked, f)) continue;
            if (f.port < 2)
                seen[f.port] = true;
            else
                ADD_FAILURE() << "frame of port " << int{f.port};
            EXPECT_EQ(f.id, 0x100u);
            EXPECT_LE(f.timestamp, GetTime() - session->readers().startTime);  // since Play
        }
        return seen[0] && seen[1] && checked >= 2000;
    });
    ASSERT_TRUE(seenBoth) << "frames checked: " << checked;

    frame->Stop();
    EXPECT_TRUE(Idle());
    // The readers are gone: nothing is added any more while the bus goes on.
    const int stopped = Total();
    for (int i = 0; i < 20; i++) Fl::wait(0.01);
    EXPECT_EQ(Total(), stopped);
}

TEST_F(PlayTest, APortThatCannotBeOpenedIsReportedAndTheOthersGoOn) {
    calls.busyNode = cards->ports().Node(1);
    EXPECT_EQ(CaptureAlert([&] { frame->Play(); }), "Error opening CAN port: CAN card busy error");
    EXPECT_TRUE(Receiving());
    const int atAlert = Total();
    ASSERT_TRUE(WaitFor([&] { return Total() >= atAlert + 1000; })) << Total();
    for (int i = 0; i < Total(); i++) {
        CANframe f;
        if (Store().Get(i, f)) {
            ASSERT_EQ(f.port, 0);
        }
    }
    frame->Stop();
    EXPECT_TRUE(Idle());
}

// Three ports of one card on a 1 Mbit/s bus with a flood; port 0 starts at 500 kbit/s, where it
// hears nothing.
class ChosenPortsTest : public PlayTest {
  protected:
    void SetUp() override { Build(chosenDriver.get()); }
    std::unique_ptr<EmulatedDriver> chosenDriver = DriverFrom(
        dir.path(), Block("Bus", "bitrate:1000000\n" + Block("Flood", "count:1000000\n")) +
                        Block("Card", Block("Port", "bus:0\nbitrate:500000\n") +
                                          Block("Port", "bus:0\n") + Block("Port", "bus:0\n")));
};

TEST_F(ChosenPortsTest, PlayMonitorsTheTickedPortsAtTheirChosenRates) {
    // Opened by the window, beside it.
    auto& dialog = static_cast<HardwareDialogFLTK&>(*frame->dialogs.hardware);
    dialog.Show();
    int x, y;
    frame->GetXY(x, y);
    EXPECT_EQ(std::vector<int>({dialog.window->x(), dialog.window->y()}),
              std::vector<int>({x + 100, y + 100}));
    dialog.tree->select_only(dialog.tree->find_item("CARD 0/PORT 1"), 1);
    dialog.bitRate->picked(dialog.bitRate->menu());  // 1,000,000 bps
    dialog.tree->select_only(dialog.tree->find_item("CARD 0/PORT 2"), 1);
    dialog.monitorBtn->value(0);
    dialog.monitorBtn->do_callback();
    dialog.window->hide();

    frame->Play();
    EXPECT_TRUE(Receiving());
    EXPECT_EQ(CanIntf(*cards, 0, false).getBaud(), 0);
    bool seen[3] = {};
    int checked = 0;
    const bool seenBoth = WaitFor([&] {
        for (CANframe f; checked < Total(); checked++)
            if (Store().Get(checked, f) && f.port < 3) seen[f.port] = true;
        return seen[0] && seen[2] && checked >= 2000;
    });
    ASSERT_TRUE(seenBoth) << "frames checked: " << checked;
    EXPECT_FALSE(seen[1]);
    frame->Stop();
}

}  // namespace
