// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/analyzer_dialog.h"

#include <FL/fl_draw.H>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "hw/can_intf.h"

namespace {

// Card 0 (measures) with two ports, card 1 (type 1) with one, all on a bus with another node.
const std::string kCards =
    Block("Bus",
          "bitrate:500000\nloop_fall_ns:150\nloop_rise_ns:170\nack_fall_ns:310\n"
          "ack_rise_ns:330\n" +
              Block("Flood", "count:1\n")) +
    Block("Card", "type:256\nserial:1\nfirmware:0x00010900\n" + Block("Port", "bus:0\n") +
                      Block("Port", "bus:0\n")) +
    Block("Card", "type:1\nserial:2\nfirmware:0x00010600\n" + Block("Port", "bus:0\n"));

// Every tooltip text of the widget's area and the columns it is found in.
std::map<std::string, std::set<int>> Tips(const WaveformDisp& w) {
    std::map<std::string, std::set<int>> tips;
    for (int x = w.x(); x < w.x() + w.w(); x++)
        for (int y = w.y(); y < w.y() + w.h(); y++) tips[w.tipText(x, y)].insert(x);
    return tips;
}

}  // namespace

TEST(AnalyzerDialogTest, MeasuresBothCardKindsAndDrawsTheBitTime) {
    TempDir dir;
    auto driver = DriverFrom(dir.path(), kCards);
    Cards cards(driver.get(), SocketCanPorts::LeftOut);
    AnalyzerFLTK dialog(cards, nullptr);
    dialog.Show();
    ASSERT_TRUE(dialog.window->shown());
    EXPECT_STREQ(dialog.window->label(), "CAN network analyzer");
    ASSERT_EQ(dialog.portChoice->size(), 4);  // three items and the menu's end
    EXPECT_STREQ(dialog.portChoice->menu()[0].label(), "CARD 0, PORT 1");
    EXPECT_STREQ(dialog.portChoice->menu()[1].label(), "CARD 0, PORT 2");
    EXPECT_STREQ(dialog.portChoice->menu()[2].label(), "CARD 1, PORT 1");
    EXPECT_EQ(dialog.bitRateChoice->value(), 2);

    // The bit rate follows the chosen port and is fixed while the port is read.
    CanIntf reading(cards, 1, false);
    reading.open();
    dialog.portChoice->value(1);
    dialog.SetPort();
    EXPECT_FALSE(dialog.bitRateChoice->active());
    reading.close();
    dialog.SetPort();
    EXPECT_TRUE(dialog.bitRateChoice->active());

    // Without a result only the frame and its labels have tooltips.
    Redraw(*dialog.window);
    EXPECT_EQ(Tips(*dialog.waveform).size(), 6u);
    const std::set<std::string> edges = {"Transmit falling edge",
                                         "Transmit rising edge",
                                         "Receive falling edge\n150ns after transmit edge",
                                         "Receive rising edge\n170ns after transmit edge",
                                         "ACK falling edge\n310ns after transmit edge",
                                         "ACK rising edge\n330ns after transmit edge"};
    dialog.portChoice->value(0);
    const auto start = [&] { Labelled(dialog.window.get(), "Start")->do_callback(); };
    ASSERT_EQ(CaptureAlert(start), "(no alert)");
    ASSERT_TRUE(dialog.waveform->HasData());
    Redraw(*dialog.window);
    std::map<std::string, std::set<int>> tips = Tips(*dialog.waveform);
    EXPECT_EQ(tips.size(), 12u);  // eleven texts (one area pair shares one) and nothing
    for (const std::string& edge : edges) {
        ASSERT_EQ(tips.count(edge), 1u) << edge;
        // A few pixels wide, around the drawn edge: a column of the trace's colour in it.
        const std::set<int>& columns = tips[edge];
        EXPECT_LE(columns.size(), 7u) << edge;
        const Fl_Color c = edge[0] == 'T'   ? FL_YELLOW
                           : edge[0] == 'R' ? fl_rgb_color(60, 160, 255)
                                            : FL_GREEN;
        const int x = (*columns.begin() + *columns.rbegin()) / 2;
        EXPECT_GT(RowsWith(*dialog.window, x - 1, 0, 3, dialog.waveform->h() / 2, c).size(), 20u)
            << edge;
    }

    // The type 1 card's samples decode to the same delays within a sample period.
    dialog.portChoice->value(2);
    ASSERT_EQ(CaptureAlert(start), "(no alert)");
    Redraw(*dialog.window);
    tips = Tips(*dialog.waveform);
    EXPECT_EQ(tips.count("Receive falling edge\n160ns after transmit edge"), 1u);
    EXPECT_EQ(tips.count("ACK rising edge\n360ns after transmit edge"), 1u);
    Labelled(dialog.window.get(), "Help")->do_callback();
    EXPECT_TRUE(dialog.helpDlg->visible());
    dialog.helpDlg->hide();
    dialog.window->hide();
}

// The Config's bit rate is the port's own, set at once and said with the rate before; closing the
// analyzer (Escape) offers to put back the rates it changed: Keep leaves them, Restore puts back
// each port's rate from before the analyzer first changed it. Without a change nothing is asked.
TEST(AnalyzerDialogTest, ConfigSaysTheRateItSetsAndClosingOffersToRestoreIt) {
    TempDir dir;
    auto driver = DriverFrom(dir.path(), kCards);
    Cards cards(driver.get(), SocketCanPorts::LeftOut);
    AnalyzerFLTK dialog(cards, nullptr);
    const auto rate = [&](int port) { return CanIntf(cards, port, false).getBaud(); };
    const auto set = [&](int port, int code) {
        dialog.portChoice->value(port);
        dialog.SetPort();
        dialog.bitRateChoice->picked(dialog.bitRateChoice->menu() + code);
        return std::string(dialog.rateNote->label() ? dialog.rateNote->label() : "");
    };
    const auto open = [&] {
        dialog.Show();
        Labelled(dialog.window.get(), "Config")->do_callback();
        ASSERT_TRUE(dialog.cfgWindow->shown());
    };
    const auto close = [&](std::vector<Answer> answers) {
        return Answering(answers, [&] {
            Keys(dialog.window.get(), "key", "Escape", [&] { return !dialog.window->shown(); });
        });
    };
    const std::string asked = "The analyzer changed the bit rate of its ports:\n";
    const std::string restore = "\n\nRestore the previous rates?";

    open();
    EXPECT_EQ(close({}), "");
    open();
    // The first rate picked as a user does: a click on the choice, Down to the rate, Return.
    dialog.portChoice->value(2);
    dialog.SetPort();
    ASSERT_EQ(dialog.bitRateChoice->value(), 2);
    const Fl_Choice& choice = *dialog.bitRateChoice;
    Xdo({"mousemove", "--window", std::to_string(fl_xid(dialog.cfgWindow.get())),
         std::to_string(choice.x() + choice.w() / 2), std::to_string(choice.y() + choice.h() / 2),
         "click", "1", "sleep", "0.3", "key", "Down", "Down", "Return"},
        [&] { return rate(2) == 4; });
    EXPECT_STREQ(dialog.rateNote->label(), "port 2 set to 125,000 bps, was 500,000 bps");
    EXPECT_EQ(set(2, 3), "port 2 set to 250,000 bps, was 125,000 bps");
    EXPECT_EQ(close({{"", "Keep"}}),
              asked + "port 2 set to 250,000 bps, was 500,000 bps" + restore);
    EXPECT_FALSE(dialog.cfgWindow->shown());
    EXPECT_EQ(rate(2), 3);

    open();
    EXPECT_EQ(dialog.rateNote->label(), nullptr);  // forgotten at the close
    EXPECT_EQ(set(0, 0), "port 0 set to 1,000,000 bps, was 500,000 bps");
    EXPECT_EQ(set(1, 0), "port 1 set to 1,000,000 bps, was 500,000 bps");
    EXPECT_EQ(set(1, 2), "port 1 set to 500,000 bps, was 1,000,000 bps");  // nothing to restore
    EXPECT_EQ(set(2, 2), "port 2 set to 500,000 bps, was 250,000 bps");
    EXPECT_EQ(close({{"", "Restore"}}), asked +
                                            "port 0 set to 1,000,000 bps, was 500,000 bps\n"
                                            "port 2 set to 500,000 bps, was 250,000 bps" +
                                            restore);
    EXPECT_EQ(std::vector<int>({rate(0), rate(1), rate(2)}), std::vector<int>({2, 2, 3}));
    open();
    EXPECT_EQ(close({}), "");
}

TEST(AnalyzerDialogTest, NumbersAtAQuarterAndHalfABitAndNoAck) {
    Fl_Double_Window window(600, 450);
    WaveformDisp* waveform = new WaveformDisp(10, 10, 580, 380);
    window.end();
    window.show();
    CanBusStats stats;
    stats.bitTime = 2000;
    stats.rxFall = 500;   // a quarter: yellow
    stats.rxRise = 1000;  // half: red
    waveform->Update(stats, false, false);
    // The figures' area: below the plot, left of the legend.
    const std::set<int> yellow = RowsWith(window, 10, 300, 290, 100, FL_YELLOW);
    const std::set<int> red = RowsWith(window, 10, 300, 290, 100, FL_RED);
    ASSERT_FALSE(yellow.empty());
    ASSERT_FALSE(red.empty());
    EXPECT_LT(*yellow.begin(), *red.begin());    // the falling delay's line first
    EXPECT_GT(*yellow.rbegin(), *red.rbegin());  // "Error: No ACK bit received" last
    // The ACK trace is one flat line of three pixels, with no tooltips.
    EXPECT_EQ(RowsWith(window, 12, 12, 288, 288, FL_GREEN).size(), 3u);
    for (const auto& tip : Tips(*waveform)) EXPECT_EQ(tip.first.rfind("ACK", 0), std::string::npos);
    window.hide();
}
