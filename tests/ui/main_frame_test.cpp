// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/main_frame_fltk.h"

#include <FL/Fl_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/utils.h"
#include "filter/filter_element.h"
#include "hw/can_intf.h"
#include "io/read_manager.h"
#include "session/cmd_line.h"
#include "ui/analyzer_dialog.h"
#include "ui/filt_dialog.h"
#include "ui/hardware_dialog.h"
#include "ui/icons.h"

namespace {

// The window with the hardware dialog and the analyzer it opens.
class MainFrameTest : public ProgramWindowTest {
  protected:
    void SetUp() override { Open(""); }
    // The window over the cards an emulation describes.
    void Open(const std::string& emulation) {
        Build(100000, emulation);
        Dialogs dialogs;
        dialogs.hardware = CreateHardwareDialog(*cards, session->ports(), frame.get());
        dialogs.analyzer = CreateAnalyzer(*cards, frame.get());
        frame->SetDialogs(std::move(dialogs));
    }
    bool MenuActive(const char* path) {
        const Fl_Menu_Item* item = frame->menuBar->find_item(path);
        return item && item->active();
    }
};

TEST_F(MainFrameTest, LayoutToolStatesAndAlerts) {
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

    // Without cards or frames: an alert each, and no dialog.
    std::string alerts;
    for (const std::function<void()>& action :
         std::vector<std::function<void()>>{[&] { frame->Play(); }, [&] { frame->SaveFile(); },
                                            [&] { frame->OpenLogFile("/no/such/file.log"); },
                                            [&] { Pick("&Tools/&Analyze CAN bus..."); },
                                            [&] { Pick("&Tools/&Hardware config..."); }})
        alerts += CaptureAlert(action) + "\n----\n";
    EXPECT_EQ(alerts, ReadFile(UI_DATA_DIR "/window_alerts.txt"));
    EXPECT_TRUE(frame->Enabled(iconPlay) && !frame->Enabled(iconStop) && frame->Enabled(iconOpen));
    auto& analyzer = static_cast<AnalyzerFLTK&>(*frame->dialogs.analyzer);
    EXPECT_FALSE(analyzer.window->shown());
    EXPECT_FALSE(static_cast<HardwareDialogFLTK&>(*frame->dialogs.hardware).window->shown());
    // The analyzer is built beside the window.
    EXPECT_EQ(std::vector<int>({analyzer.window->x(), analyzer.window->y()}),
              std::vector<int>({x + 100, y + 100}));
    EXPECT_EQ(CaptureAlert([&] { analyzer.Config(); }), "No CAN cards found in system");
    EXPECT_FALSE(analyzer.cfgWindow->shown());
    EXPECT_EQ(CaptureAlert([&] { frame->About(); }),
              std::string("Quillon \n\nVersion ") + getVersion());

    // Escape does not close the window (the close button would exit).
    Fl::e_number = FL_SHORTCUT;
    Fl::e_keysym = FL_Escape;
    frame->window->do_callback();
    EXPECT_TRUE(frame->window->shown());

    // Another decoder clears the store, once the user agrees; it is not asked when empty.
    Store().Add(CANframe());
    const std::string question =
        "Switching the decoder clears the 1 messages stored.\n\nSwitch anyway?";
    EXPECT_EQ(Answering({{"", "Cancel"}}, [&] { Pick("&View/&Decoder/&Raw"); }), question);
    EXPECT_TRUE(session->parserMode() == PARSE_CANOPEN && Total() == 1);
    EXPECT_TRUE(frame->menuBar->find_item("&View/&Decoder/&CANopen")->value() &&
                !frame->menuBar->find_item("&View/&Decoder/&Raw")->value());
    EXPECT_EQ(Answering({{"", "Switch"}}, [&] { Pick("&View/&Decoder/&Raw"); }), question);
    EXPECT_EQ(session->parserMode(), PARSE_RAW);
    EXPECT_EQ(Total(), 0);
    EXPECT_FALSE(frame->menuBar->find_item("&View/&Decoder/&CANopen")->value());
    EXPECT_EQ(CaptureAlert([&] { Pick("&View/&Decoder/&CANopen"); }), "(no alert)");
    EXPECT_EQ(session->parserMode(), PARSE_CANOPEN);
}

// View -> Raw data bytes, chosen by its keys, puts the frames' bytes between the length and the
// decoded text, and takes them away again. Help -> Keys and mouse names the keys.
TEST_F(MainFrameTest, RawDataBytesAndTheKeysPageFromTheMenus) {
    auto* list = static_cast<MsgListFLTK*>(frame->msgList);
    CANframe f;
    f.id = 0x181;
    f.length = 8;
    Store().Add(f);
    CANframe text;
    text.SetText("# a comment long enough to reach over the place of the data bytes");
    Store().Add(text);
    ASSERT_TRUE(UntilUi([&] { return list->lineHeight > 0 && !list->newData; }));
    fl_font(prefs.font, prefs.fontSize);
    const int rowsY = list->y() + Fl::box_dy(list->box()) + list->lineHeight + fl_descent();
    // Where the Data column shows on row r: the dark pixels of the frame's row, whether the
    // comment's (dark cyan) row has any.
    const int dataX = list->x() + Fl::box_dx(list->box()) + list->dataCol;
    const auto inData = [&](int r) {
        return InkIn(*frame->window, dataX, rowsY + r * list->lineHeight, list->dataWidth - 10,
                     list->lineHeight)
            .dark;
    };
    const auto commentInData = [&] {
        return !RowsWith(*frame->window, dataX, rowsY + list->lineHeight, list->dataWidth - 10,
                         list->lineHeight, FL_DARK_CYAN)
                    .empty();
    };
    const Fl_Menu_Item* item = frame->menuBar->find_item("&View/&Raw data bytes");
    ASSERT_TRUE(item);
    EXPECT_TRUE(commentInData());  // hidden: the comment starts there
    Keys(frame->window.get(), "key", "alt+v r", [&] { return list->rawData; });
    EXPECT_TRUE(item->value());
    EXPECT_EQ(list->valueCol, list->dataCol + list->dataWidth);
    EXPECT_GT(inData(0), 0);        // the bytes
    EXPECT_FALSE(commentInData());  // a text line has none
    Keys(frame->window.get(), "key", "alt+v r", [&] { return !list->rawData; });
    EXPECT_TRUE(commentInData());

    Keys(frame->window.get(), "key", "alt+h k",
         [&] { return frame->keysHelp && frame->keysHelp->visible(); });
    ASSERT_TRUE(frame->keysHelp);
    const std::string page = frame->keysHelp->value();
    for (const char* key :
         {"<td>c</td>", "<td>End</td>", "Home", "Page Down", "Ctrl+F", "F3", "Shift+F3", "Ctrl+G",
          "Escape", "double-click", "Ctrl+L", "Ctrl+S", "Ctrl+O", "Ctrl+Q", "Raw data bytes"})
        EXPECT_NE(page.find(key), std::string::npos) << key;
    frame->keysHelp->hide();
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

// A replay runs until the end of the file. Save then writes the frames in the format the file's
// extension names, as quillon-dump -o writes it, and quillon-dump reads them back as they were:
// compared as the frame lines of the program's own format, without text entries (a TRC header's
// column captions read back as one). Save is off while the writer runs.
// Replays that ran to their end hold no reader: Open after Open, without Stop, each replays (a
// reader per slot would run out at the ninth). Once a replay has ended, Stop has nothing to stop.
TEST_F(MainFrameTest, OpensReplayAfterReplayWithoutStop) {
    const std::string replayed = TEST_DATA_DIR "/roundtrip.log";
    for (int i = 0; i < 2 * ReadManager::kMaxReaders; i++) {
        // An alert, were there one, would be closed by the second answer and shown.
        EXPECT_EQ(Answering({{replayed, "OK"}, {}}, [&] { Pick("&File/&Open"); }),
                  "Select log file")
            << "open " << i + 1;
        ASSERT_TRUE(UntilUi([&] { return frame->Enabled(iconOpen); })) << "open " << i + 1;
        EXPECT_FALSE(frame->Enabled(iconStop));
        EXPECT_EQ(Total(), 11) << "open " << i + 1;
    }
}

TEST_F(MainFrameTest, ReplayThenSaveWritesTheFormatTheExtensionNames) {
    const std::string replayed = TEST_DATA_DIR "/roundtrip.log";
    Store().Add(CANframe());  // cleared by the replay
    frame->OpenLogFile(replayed);
    EXPECT_TRUE(!frame->Enabled(iconOpen) && frame->Enabled(iconStop));  // replaying
    ASSERT_TRUE(UntilUi([&] { return frame->Enabled(iconOpen); }));      // idle by itself
    EXPECT_EQ(Total(), 11);
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
        EXPECT_EQ(Answering({{dir.file(name), "OK"}}, [&] { frame->SaveFile(); }),
                  "Select log file");
        EXPECT_FALSE(frame->Enabled(iconSave));
        ASSERT_TRUE(UntilUi([&] { return frame->Enabled(iconSave); }));
        EXPECT_EQ(ReadFile(dir.file(name)), dump(format, replayed)) << name;
        EXPECT_EQ(frames(dir.file(name)), frames(replayed)) << name;
    }
    frame->Clear();
    EXPECT_EQ(Total(), 0);
}

// A Save begun during a replay ends with it, and the next Open adds nothing to its file; Clear
// waits for a Save of what the store holds (the windows live meanwhile): neither file holds
// frames of another capture.
TEST_F(MainFrameTest, ASaveEndsWithItsReplayAndClearWaitsForIt) {
    const auto lines = [&](const std::string& name) {
        const std::string text = ReadFile(dir.file(name));
        return std::count(text.begin(), text.end(), '\n');
    };
    const auto saved = [&](const std::string& name) {
        return UntilUi([&] {
            frame->statusBar->Refresh();
            return frame->statusBar->Text().find("| saved " + name) != std::string::npos;
        });
    };
    CANframe f;
    f.length = 1;
    frame->SetToolState(MainFrameFLTK::ToolState::Replaying);  // as Open leaves it until the end
    for (int i = 0; i < 3; i++) Store().Add(f);
    EXPECT_EQ(Answering({{dir.file("replay.log"), "OK"}}, [&] { frame->SaveFile(); }),
              "Select log file");
    Store().Add(f);
    frame->LogReadDone();  // as the replay's reader tells its end
    EXPECT_TRUE(saved("replay.log"));
    frame->OpenLogFile(TEST_DATA_DIR "/roundtrip.log");
    ASSERT_TRUE(UntilUi([&] { return frame->Enabled(iconOpen); }));
    EXPECT_EQ(lines("replay.log"), 4);

    for (int i = Total(); i < 100000; i++) Store().Add(f);
    EXPECT_EQ(Answering({{dir.file("all.log"), "OK"}}, [&] { frame->SaveFile(); }),
              "Select log file");
    frame->Clear();
    Store().Add(f);
    EXPECT_TRUE(saved("all.log"));
    EXPECT_EQ(lines("all.log"), 100000);
}

// The list follows the newest frames until a row is clicked, and the status bar says where it
// is paused; End, the status bar's button, Clear and Open each resume the following.
TEST_F(MainFrameTest, AClickPausesFollowingAndEndTheButtonClearAndOpenResumeIt) {
    auto* list = static_cast<MsgListFLTK*>(frame->msgList);
    const std::string xid = std::to_string(fl_xid(frame->window.get()));
    const auto add = [&](int n) {
        CANframe f;
        f.length = 1;
        for (int i = 0; i < n; i++) Store().Add(f);
    };
    const auto state = [&] { return std::string(frame->statusBar->follow->label()); };
    // The newest frame on the last full row, and the status bar says so.
    const auto following = [&] {
        return state() == "following" && list->topIndex == std::max(Total() - list->Lines(), 0);
    };
    // A click on the third row under the header.
    const auto clickRow = [&] {
        fl_font(prefs.font, prefs.fontSize);
        const int y = list->y() + Fl::box_dy(list->box()) + fl_descent() + 3 * list->lineHeight +
                      list->lineHeight / 2;
        const std::string paused = "paused at row " + std::to_string(list->topIndex + 2);
        ClickAt(frame->window.get(), 100, y, [&] { return state() == paused; });
        EXPECT_EQ(state(), paused);
    };

    add(300);
    ASSERT_TRUE(UntilUi(following));
    clickRow();
    const StoreIndex top = list->topIndex;
    add(50);  // not followed
    EXPECT_TRUE(UntilUi([&] { return !list->newData; }));
    EXPECT_EQ(list->topIndex, top);
    Keys(frame->window.get(), "key", "End", following);
    add(10);
    EXPECT_TRUE(UntilUi(following));
    // The wheel up pauses it, down to the end resumes it.
    Xdo({"mousemove", "--window", xid, "100", "200", "click", "4"},
        [&] { return state() != "following"; });
    Xdo({"click", "--repeat", "5", "5"}, following);

    clickRow();
    Fl_Widget* button = frame->statusBar->follow;
    ClickAt(frame->window.get(), button->x() + button->w() / 2, button->y() + button->h() / 2,
            following);
    EXPECT_EQ(Fl::focus(), list);  // the keys stay with the list

    clickRow();
    frame->Clear();
    EXPECT_TRUE(UntilUi([&] { return state() == "following" && list->selFrame < 0; }));
    add(300);
    ASSERT_TRUE(UntilUi(following));
    clickRow();
    frame->OpenLogFile(TEST_DATA_DIR "/roundtrip.log");
    EXPECT_TRUE(UntilUi([&] { return frame->Enabled(iconOpen) && following(); }));
}

// The status bar's fields over a known store: the counts and the fill, the capture, the filter
// the filter dialog applied, where the list is paused, the last save (also one that failed), and
// the lines the replay dropped.
TEST_F(MainFrameTest, StatusBarTellsTheStoreCaptureFilterAndSave) {
    std::string texts;
    const auto note = [&](const std::string& step) {
        frame->statusBar->Refresh();
        texts += step + ": " +
                 std::regex_replace(
                     std::regex_replace(frame->statusBar->Text(),
                                        std::regex("[0-9]+:[0-9]{2}:[0-9]{2}"), "H:MM:SS"),
                     std::regex("not written: [0-9,]+"), "not written: N") +
                 "\n";
    };
    note("start");
    // A frame line without an identifier is no frame nor text: dropped.
    WriteFile(dir.file("short.log"),
              "1000 CAN0: 0x181 - 0x01\n1500 CAN0: zz\n2000 CAN1: 0x701 - 0x05\n");
    frame->OpenLogFile(dir.file("short.log"));
    frame->statusBar->Refresh();
    EXPECT_NE(frame->statusBar->Text().find(" | replaying 0:00:0"), std::string::npos);
    ASSERT_TRUE(UntilUi([&] { return frame->Enabled(iconOpen); }));
    note("replayed");

    CANframe f;
    f.length = 1;
    f.id = 0x181;
    for (int i = 0; i < 24990; i++) Store().Add(f);
    f.id = 0x701;
    for (int i = 0; i < 8; i++) Store().Add(f);
    FiltDialogFLTK filter(*session, frame.get());
    filter.AddFE(std::make_unique<FeCanID>(0x701, 0x7FF));
    filter.Show();
    filter.exprInput->value("A");
    EXPECT_TRUE(filter.Apply());
    note("filtered");
    frame->msgList->SelectFrame(24995);
    note("selected");

    EXPECT_EQ(Answering({{dir.file("saved.log"), "OK"}}, [&] { frame->SaveFile(); }),
              "Select log file");
    note("saving");
    ASSERT_TRUE(UntilUi([&] { return frame->Enabled(iconSave); }));
    note("saved");
    // A save that fails, on a full disk.
    EXPECT_NE(Answering({{"/dev/full", "OK"}, {}, {}},
                        [&] {
                            frame->SaveFile();
                            UntilUi([&] { return frame->Enabled(iconSave); });
                        })
                  .find("|Error writing log file: "),
              std::string::npos);
    note("failed");
    EXPECT_EQ(texts, ReadFile(UI_DATA_DIR "/status_bar.txt"));
}

// A taller window gives its extra height to the list, which shows the newest frame on its new last
// row while it follows; the divider between the list and the detail view is still dragged, and
// the status bar stays at the bottom.
TEST_F(MainFrameTest, ATallerWindowGivesItsHeightToTheList) {
    auto* list = static_cast<MsgListFLTK*>(frame->msgList);
    const auto newestOnLastRow = [&] { return list->topIndex + list->Lines() == Total(); };
    for (int i = 0; i < 300; i++) Store().Add(CANframe());
    ASSERT_TRUE(UntilUi(newestOnLastRow));
    Fl_Widget* detail = frame->msgDetail->asFlWidget();
    const std::string xid = std::to_string(fl_xid(frame->window.get()));
    const auto heights = [&] {
        return std::vector<int>({list->h(), detail->h(), frame->window->h() - frame->statusBar->y(),
                                 frame->window->h() - (detail->y() + detail->h())});
    };
    const std::vector<int> before = heights();
    EXPECT_EQ(before[2], StatusBar::kHeight);
    EXPECT_EQ(before[3], StatusBar::kHeight);
    Xdo({"windowsize", "--sync", xid, "800", "700"}, [&] { return frame->window->h() == 700; });
    EXPECT_EQ(heights(), std::vector<int>({before[0] + 100, before[1], before[2], before[3]}));
    EXPECT_TRUE(UntilUi(newestOnLastRow));

    // The divider dragged 80 pixels up, then the window 100 taller again.
    const std::string edge = std::to_string(list->y() + list->h());
    const std::string moved = std::to_string(list->y() + list->h() - 80);
    Xdo({"mousemove", "--window", xid, "100", edge, "mousedown", "1", "mousemove", "--window", xid,
         "100", moved, "mouseup", "1"},
        [&] { return detail->h() == before[1] + 80; });
    Xdo({"windowsize", "--sync", xid, "800", "800"}, [&] { return frame->window->h() == 800; });
    EXPECT_EQ(heights(), std::vector<int>({before[0] + 120, before[1] + 80, before[2], before[3]}));
}

// Three ports of one card on a 1 Mbit/s bus whose flood outlasts every test; port 0 starts at
// 500 kbit/s, where it hears nothing.
class PlayTest : public MainFrameTest {
  protected:
    void SetUp() override {
        Open(Block("Bus", "bitrate:1000000\n" + Block("Flood", "count:1000000\n")) +
             Block("Card", Block("Port", "bus:0\nbitrate:500000\n") + Block("Port", "bus:0\n") +
                               Block("Port", "bus:0\n")));
    }
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
    // Runs until every port in want has been seen among at least count frames checked, and checks
    // each frame; the ports seen.
    std::vector<bool> Seen(std::vector<bool> want, int count) {
        std::vector<bool> seen(3);
        int checked = 0;
        EXPECT_TRUE(UntilUi([&] {
            for (CANframe f; checked < Total(); checked++) {
                if (!Store().Get(checked, f)) continue;
                if (f.port < 3)
                    seen[f.port] = true;
                else
                    ADD_FAILURE() << "frame of port " << int{f.port};
                EXPECT_EQ(f.id, 0x100u);
                EXPECT_LE(f.timestamp, GetTime() - session->readers().startTime);  // since Play
            }
            for (int p = 0; p < 3; p++)
                if (want[p] && !seen[p]) return false;
            return checked >= count;
        })) << "frames checked: "
            << checked;
        return seen;
    }
};

TEST_F(PlayTest, PlayMonitorsTheTickedPortsAtTheirChosenRatesUntilStop) {
    // Opened by the window, beside it.
    auto& dialog = static_cast<HardwareDialogFLTK&>(*frame->dialogs.hardware);
    Pick("&Tools/&Hardware config...");
    int x, y;
    frame->GetXY(x, y);
    EXPECT_EQ(std::vector<int>({dialog.window->x(), dialog.window->y()}),
              std::vector<int>({x + 100, y + 100}));
    dialog.tree->select_only(dialog.tree->find_item("CARD 0/PORT 1 (port 0)"), 1);
    dialog.bitRate->picked(dialog.bitRate->menu());  // 1,000,000 bps
    dialog.tree->select_only(dialog.tree->find_item("CARD 0/PORT 2 (port 1)"), 1);
    dialog.monitorBtn->value(0);
    dialog.monitorBtn->do_callback();
    dialog.window->hide();

    // Play follows the new frames, also after a click paused the list; the status bar names the
    // ports read.
    for (int i = 0; i < 3; i++) Store().Add(CANframe());
    frame->msgList->SelectFrame(1);
    EXPECT_FALSE(frame->msgList->Following());
    frame->Play();
    EXPECT_TRUE(Receiving());
    EXPECT_TRUE(frame->msgList->Following());
    EXPECT_TRUE(std::regex_search(frame->statusBar->Text(),
                                  std::regex(" \\| receiving 0:00:0. \\| port 0: [0-9]+ %, port "
                                             "2: [0-9]+ % \\|")))
        << frame->statusBar->Text();
    EXPECT_EQ(CanIntf(*cards, 0, false).getBaud(), 0);
    EXPECT_EQ(Seen({true, false, true}, 2000), std::vector<bool>({true, false, true}));
    frame->Stop();
    EXPECT_TRUE(Idle());
    // The readers are gone: nothing is added any more while the bus goes on.
    const int stopped = Total();
    for (int i = 0; i < 20; i++) Fl::wait(0.01);
    EXPECT_EQ(Total(), stopped);
}

TEST_F(PlayTest, APortThatCannotBeOpenedIsReportedAndTheOthersGoOn) {
    const int fd = OpenPort(*Driver(), cards->ports().Node(2).c_str());
    EXPECT_EQ(CaptureAlert([&] { frame->Play(); }),
              "Error opening CAN port: Attempt to reopen an open CAN port");
    EXPECT_TRUE(Receiving());
    EXPECT_FALSE(Seen({false, true, false}, Total() + 1000)[2]);
    frame->Stop();
    EXPECT_TRUE(Idle());
    Driver()->Close(fd);
}

// Play (clicked) and Open (Ctrl+O) over frames captured and not saved ask first; a capture saved
// whole is not asked about, and "Don't ask again" stops the question, kept in the preferences.
TEST_F(PlayTest, PlayAndOpenOverAnUnsavedCaptureAsk) {
    const auto clickPlay = [&](std::vector<Answer> answers) {
        return Answering(answers, [&] {
            ClickAt(frame->toolbar, 75, 15, [&] { return Receiving() || Idle(); });
        });
    };
    const auto capture = [&] {
        EXPECT_TRUE(Receiving());
        const int before = Total();
        EXPECT_TRUE(UntilUi([&] { return Total() > before; }));
        frame->Stop();
    };
    const std::string unsaved = "The %d messages captured have not been saved to a log file.";
    const auto question = [&] { return Format(unsaved.c_str(), Total()) + "\n\nDiscard them?"; };

    EXPECT_EQ(clickPlay({}), "");  // nothing to lose yet
    capture();
    const int kept = Total();
    const std::string asked = question();
    EXPECT_EQ(clickPlay({{"", "Cancel"}}), asked);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(Answering({{TEST_DATA_DIR "/roundtrip.log", "OK"}, {"", "Cancel"}},
                        [&] { Keys(frame->window.get(), "key", "ctrl+o", [] { return true; }); }),
              "Select log file|" + asked);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(Total(), kept);

    EXPECT_EQ(Answering({{dir.file("kept.log"), "OK"}}, [&] { frame->SaveFile(); }),
              "Select log file");
    ASSERT_TRUE(UntilUi([&] { return frame->Enabled(iconSave); }));
    EXPECT_EQ(clickPlay({}), "");  // saved whole
    capture();
    const std::string again = question();
    EXPECT_EQ(clickPlay({{"", "Don't ask again"}, {"", "Discard"}}), again);
    EXPECT_EQ(prefs.confirmDiscard, 0);
    EXPECT_NE(ReadFile(prefs.prefsFile).find("Confirm_Discard:0"), std::string::npos);
    EXPECT_EQ(QL_Settings(dir.path()).confirmDiscard, 0);  // at the next start too
    capture();
    EXPECT_EQ(clickPlay({}), "");
    EXPECT_TRUE(Receiving());
    frame->Stop();
}

}  // namespace
