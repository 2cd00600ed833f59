// gtest before FLTK: X11 headers define None.
#include <gtest/gtest.h>

#include "ui/hardware_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Progress.H>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "hw/can_intf.h"
#include "hw/cards.h"
#include "hw/firmware_builder.h"
#include "hw/firmware_file.h"
#include "session/port_selection.h"
#include "sim/emulation_test_support.h"
#include "support/test_support.h"
#include "ui/alert_capture.h"
#include "ui/widget_lookup.h"

namespace {

// The emulated driver, except that node is missing while gone is set. Counts the times the
// driver itself found no node there (a vanished card).
class Vanishing : public DriverCalls {
  public:
    explicit Vanishing(DriverCalls& driver) : driver(driver) {}
    int Access(const char* path, int mode) override {
        if (Missing(path)) return -1;
        return Counted(path, driver.Access(path, mode));
    }
    int Open(const char* path, int flags) override {
        if (Missing(path)) return -1;
        return Counted(path, driver.Open(path, flags));
    }
    int Close(int fd) override { return driver.Close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        return driver.Ioctl(fd, request, arg);
    }

    std::string node;
    bool gone = false;
    int refused = 0;

  private:
    bool Missing(const char* path) {
        if (!gone || node != path) return false;
        errno = ENOENT;
        return true;
    }
    int Counted(const char* path, int result) {
        if (result < 0 && node == path) refused++;
        return result;
    }
    DriverCalls& driver;
};

// Card 0: a PCI card of type 3 (serial 111); card 1: a type 259 card (serial 222) whose node
// goes away for 1.5 s after a reset. Port 2 runs at 500 kbit/s, the others at 1 Mbit/s; each
// port has its own transmit error count.
const std::string kTwoCards =
    Block("Bus", "bitrate:1000000\n") +
    Block("Card", "type:3\nserial:111\n" + Block("Port", "bus:0\ntx_errors:10\n") +
                      Block("Port", "bus:0\ntx_errors:11\n")) +
    Block("Card", "type:259\nserial:222\nvanish_ms:1500\n" +
                      Block("Port", "bus:0\ntx_errors:12\nbitrate:500000\n") +
                      Block("Port", "bus:0\ntx_errors:13\n"));

// The main window the dialog opens beside.
struct PlacedFrame : MainFrame {
    void OpenLogFile(const std::string&) override {}
    void GetXY(int& x, int& y) override {
        x = 200;
        y = 150;
    }
    MsgDetail* GetMsgDetail() override { return nullptr; }
    void SetDialogs(Dialogs) override {}
};

class HardwareDialogTest : public ::testing::Test {
  protected:
    // The emulated cards of body in place of the machine's, with a new port selection and dialog.
    void Use(const std::string& body) {
        Drop();
        driver = DriverFrom(dir.path(), body);
        calls = std::make_unique<Vanishing>(*driver);
        Build(calls.get());
    }
    // As Use, through a recorder of the calls.
    void Record(const std::string& body) {
        Drop();
        driver = DriverFrom(dir.path(), body);
        recorder = std::make_unique<Recorder>(*driver);
        Build(recorder.get());
    }
    // Selects the item as a click does, with the tree's callback.
    void Select(const char* path) {
        Fl_Tree_Item* item = dialog->tree->find_item(path);
        ASSERT_NE(item, nullptr) << path;
        dialog->tree->select_only(item, 1);
    }
    // Runs the event loop until done(); false when it still does not hold after kPatience.
    template <typename Done>
    static bool Until(Done done) {
        return WaitUntil(done, [] { Fl::wait(0.01); });
    }
    static std::string Text(const Fl_Output* field) { return field->value(); }
    PortInfo InfoOf(int port) { return CanIntf(*cards, port, false).getPortInfo(); }
    // Takes the port's node away: the error that opening the port then gives.
    std::string Vanish(int port) {
        calls->node = cards->ports().Node(port);
        calls->gone = true;
        const std::string error = ThrownError([&] { CanIntf(*cards, port, false); });
        return error.substr(error.find(' ') + 1);
    }

    TempDir dir;
    std::unique_ptr<EmulatedDriver> driver;
    std::unique_ptr<Vanishing> calls;
    std::unique_ptr<Recorder> recorder;
    // The machine's own cards until Use or Record.
    std::unique_ptr<Cards> cards = std::make_unique<Cards>(nullptr, SocketCanPorts::LeftOut);
    // The session's Monitor flags, which the dialog shows and sets.
    std::unique_ptr<PortSelection> ports = std::make_unique<PortSelection>(cards.get());
    PlacedFrame owner;
    std::unique_ptr<HardwareDialogFLTK> dialog =
        std::make_unique<HardwareDialogFLTK>(*cards, *ports, &owner);

  private:
    // Everything over the cards goes before them.
    void Drop() {
        dialog.reset();
        ports.reset();
        cards.reset();
    }
    void Build(DriverCalls* driverCalls) {
        cards = std::make_unique<Cards>(driverCalls, SocketCanPorts::LeftOut);
        cards->ports().Scan(false);  // so that the tests can name the ports' nodes
        ports = std::make_unique<PortSelection>(cards.get());
        dialog = std::make_unique<HardwareDialogFLTK>(*cards, *ports, &owner);
    }
};

TEST_F(HardwareDialogTest, TwoCardsOfTwoPortsGiveFourPortItemsThatAddressTheirPorts) {
    Use(kTwoCards);
    dialog->Show();
    ASSERT_TRUE(dialog->window->shown());
    EXPECT_STREQ(dialog->window->label(), "CAN Hardware Configuration");
    // Beside its owner, the main window at (200, 150).
    EXPECT_EQ(std::vector<int>({dialog->window->x(), dialog->window->y(), dialog->window->w(),
                                dialog->window->h()}),
              std::vector<int>({300, 250, 500, 300}));
    std::vector<std::string> items;
    for (Fl_Tree_Item* i = dialog->tree->next(dialog->tree->first()); i;
         i = dialog->tree->next(i)) {
        char path[64];
        dialog->tree->item_pathname(path, sizeof path, i);
        items.push_back(path);
    }
    EXPECT_EQ(items, std::vector<std::string>({"CARD 0", "CARD 0/PORT 1", "CARD 0/PORT 2", "CARD 1",
                                               "CARD 1/PORT 1", "CARD 1/PORT 2"}));

    // The first card is selected at first.
    EXPECT_EQ(dialog->Position(), 0);
    EXPECT_TRUE(dialog->cardPanel->visible() && !dialog->portPanel->visible());
    EXPECT_EQ(Text(dialog->serialNum), "111");

    Select("CARD 1/PORT 2");
    EXPECT_EQ(dialog->Position(), 3);
    EXPECT_TRUE(dialog->portPanel->visible() && !dialog->cardPanel->visible());
    EXPECT_EQ(Text(dialog->txErrors), InfoOf(3).txErrors);
    EXPECT_NE(InfoOf(3).txErrors, InfoOf(2).txErrors);
    EXPECT_EQ(Text(dialog->status), InfoOf(3).status);
    EXPECT_EQ(Text(dialog->loading), "  0.0%");

    Select("CARD 1");
    EXPECT_EQ(dialog->Position(), 2);
    EXPECT_TRUE(dialog->cardPanel->visible() && !dialog->portPanel->visible());
    EXPECT_EQ(Text(dialog->serialNum), "222");
    EXPECT_EQ(Text(dialog->cardType), "TRL-VR-1");
    EXPECT_FALSE(dialog->warning->visible());

    Select("CARD 0/PORT 2");
    EXPECT_EQ(dialog->Position(), 1);
    EXPECT_EQ(Text(dialog->txErrors), InfoOf(1).txErrors);

    dialog->window->hide();
}

TEST_F(HardwareDialogTest, CardTypeTexts) {
    Use(kTwoCards);
    dialog->Show();
    EXPECT_EQ(Text(dialog->cardType), "TRL-PCI-2 - rev 4");
    dialog->window->hide();

    Use(Block("Bus", "bitrate:1000000\n") +
        Block("Card", "type:0x300\nupdate_failed:1\n" + Block("Port", "bus:0\n")));
    dialog->Show();
    EXPECT_EQ(Text(dialog->cardType), "Unknown: 0x00000300");
    EXPECT_TRUE(dialog->warning->visible());
    EXPECT_EQ(Text(dialog->warning), "Last firmware update failed!");
    dialog->window->hide();
}

TEST_F(HardwareDialogTest, UntickedPortIsLeftOutOfThePortList) {
    Use(kTwoCards);
    dialog->Show();
    Select("CARD 0/PORT 2");
    EXPECT_TRUE(dialog->monitorBtn->value());
    dialog->monitorBtn->value(0);
    dialog->monitorBtn->do_callback();
    EXPECT_EQ(std::vector<bool>({ports->Monitored(0), ports->Monitored(1), ports->Monitored(2),
                                 ports->Monitored(3)}),
              std::vector<bool>({true, false, true, true}));

    int list[64];
    ASSERT_EQ(ports->GetPortList(list, 64), 4);
    EXPECT_EQ(std::vector<int>(list, list + 4), std::vector<int>({0, -1, 2, 0}));
    EXPECT_EQ(ports->GetPortList(list, 2), 2);

    // The check button shows the flag of the port selected.
    Select("CARD 1/PORT 1");
    EXPECT_TRUE(dialog->monitorBtn->value());
    Select("CARD 0/PORT 2");
    EXPECT_FALSE(dialog->monitorBtn->value());
    dialog->window->hide();
}

TEST_F(HardwareDialogTest, BitRateIsFixedForAnOpenPortAndSetAtOnceForAClosedOne) {
    Use(kTwoCards);
    const int fd = OpenPort(*driver, cards->ports().Node(0).c_str());
    dialog->Show();
    Select("CARD 0/PORT 1");
    EXPECT_FALSE(dialog->bitRate->active());
    EXPECT_EQ(dialog->bitRate->value(), 0);

    Select("CARD 1/PORT 1");
    EXPECT_TRUE(dialog->bitRate->active());
    EXPECT_EQ(dialog->bitRate->value(), 2);
    EXPECT_STREQ(dialog->bitRate->text(3), "250,000 bps");
    dialog->bitRate->picked(dialog->bitRate->menu() + 3);
    EXPECT_EQ(CanIntf(*cards, 2, false).getBaud(), 3);

    // A rate that cannot be set is reported once.
    const std::string gone = Vanish(2);
    ASSERT_NE(gone, "(none)");
    EXPECT_EQ(CaptureAlert([&] { dialog->bitRate->picked(dialog->bitRate->menu() + 4); }), gone);
    calls->gone = false;
    EXPECT_EQ(CanIntf(*cards, 2, false).getBaud(), 3);

    driver->Close(fd);
    dialog->window->hide();
}

TEST_F(HardwareDialogTest, NoCardsGiveAnAlertAndNoWindow) {
    EXPECT_EQ(CaptureAlert([&] { dialog->Show(); }), "No CAN cards found in system");
    EXPECT_FALSE(dialog->window->shown());
    int list[64];
    EXPECT_EQ(ports->GetPortList(list, 64), 0);
}

TEST_F(HardwareDialogTest, ResetOfAVanishingCardWaitsForItsNode) {
    Use(kTwoCards);
    dialog->Show();
    Select("CARD 1");
    calls->node = cards->ports().Node(2);
    Fl_Widget* reset = FindLabelled(dialog->cardPanel, "Reset");
    ASSERT_NE(reset, nullptr);
    EXPECT_EQ(CaptureAlert([&] { reset->do_callback(); }), "(no alert)");
    EXPECT_FALSE(dialog->busy);
    // The node went away and is back when the reset returns.
    EXPECT_GT(calls->refused, 0);
    EXPECT_EQ(cards->ports().Count(), 4);
    EXPECT_EQ(InfoOf(2).baudCode, 2);

    // A card that cannot be reached is reported.
    Select("CARD 0");
    const std::string message = Vanish(0);
    ASSERT_NE(message, "(none)");
    EXPECT_EQ(CaptureAlert([&] { reset->do_callback(); }), message);
    EXPECT_FALSE(dialog->busy);
    calls->gone = false;
    dialog->window->hide();
}

TEST_F(HardwareDialogTest, RefreshShowsAVanishedPortsErrorAndGoesOn) {
    Use(kTwoCards);
    dialog->Show();
    Select("CARD 1/PORT 2");
    const std::string normal = InfoOf(3).status;
    const std::string message = Vanish(3);
    ASSERT_NE(message, "(none)");
    ASSERT_NE(message, normal);
    // The timer's refreshes show the error, then the port again once it is back.
    ASSERT_TRUE(Until([&] { return Text(dialog->status) == message; })) << Text(dialog->status);
    EXPECT_TRUE(dialog->window->shown());
    calls->gone = false;
    ASSERT_TRUE(Until([&] { return Text(dialog->status) == normal; })) << Text(dialog->status);
    dialog->window->hide();
}

}  // namespace

TEST_F(HardwareDialogTest, FirmwareUpdateChecksTheCardThenDownloadsWithProgress) {
    Record(kTwoCards);
    dialog->Show();
    Select("CARD 0");  // type 3
    FirmwareImages images;
    images.mainVersion = 0x00030300;
    images.main = PatternImage(1024, 1);
    images.fpga = PatternImage(512, 2);
    const auto erases = [&] {
        return std::count_if(recorder->calls.begin(), recorder->calls.end(),
                             [](const std::string& c) { return c.find("c008b706 00060001") == 0; });
    };

    // Meant for other cards: refused before anything reaches the card's flash.
    images.compat = {1, 256, 0, 0};
    std::vector<uint8_t> bytes = BuildFirmwareFile(images);
    WriteFile(dir.file("other.kfw"), std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(CaptureAlert([&] { dialog->UpdateFirmwareFrom(dir.file("other.kfw").c_str()); }),
              "Firmware not compatible with card");
    EXPECT_EQ(erases(), 0);
    EXPECT_EQ(CaptureAlert([&] { dialog->UpdateFirmwareFrom(dir.file("none.kfw").c_str()); }),
              "Unable to open file " + dir.file("none.kfw") + " for reading");

    // The progress window, looked for at every call to the card, opens at the main window.
    std::vector<int> progressAt;
    recorder->rewrite = [&](unsigned long, void*) {
        for (Fl_Window* w = Fl::first_window(); w && progressAt.empty(); w = Fl::next_window(w))
            if (w->children() > 0 && dynamic_cast<Fl_Progress*>(w->child(0)))
                progressAt = {w->x(), w->y()};
    };
    images.compat = {3, 0, 0, 0};
    bytes = BuildFirmwareFile(images);
    WriteFile(dir.file("mine.kfw"), std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(CaptureAlert([&] { dialog->UpdateFirmwareFrom(dir.file("mine.kfw").c_str()); }),
              "(no alert)");
    recorder->rewrite = nullptr;
    EXPECT_EQ(progressAt, std::vector<int>({200, 150}));
    EXPECT_FALSE(dialog->busy);
    EXPECT_EQ(erases(), 2);  // the main program and the FPGA image; the file has no boot loader
    EXPECT_EQ(driver->Flash(0, kMainImageId), images.main);
    EXPECT_EQ(driver->Flash(0, kFpgaImageId), images.fpga);
}
