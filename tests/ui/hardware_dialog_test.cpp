// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/hardware_dialog.h"

#include <FL/Fl_Progress.H>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "hw/can_intf.h"
#include "hw/firmware_builder.h"
#include "hw/firmware_file.h"
#include "session/port_selection.h"

namespace {

// The recorded emulated driver, except that node is missing while gone is set. Counts the times
// the driver itself found no node there (a vanished card).
struct Vanishing : Recorder {
    using Recorder::Recorder;
    int Access(const char* path, int mode) override {
        return Reach(path, [&] { return Recorder::Access(path, mode); });
    }
    int Open(const char* path, int flags) override {
        return Reach(path, [&] { return Recorder::Open(path, flags); });
    }
    int Reach(const char* path, const std::function<int()>& call) {
        const bool missing = gone && node == path;
        if (missing) errno = ENOENT;
        const int result = missing ? -1 : call();
        refused += result < 0 && node == path && !missing;
        return result;
    }

    std::string node;
    bool gone = false;
    int refused = 0;
};

// Card 0: a PCI card of type 3 (serial 111); card 1: a type 259 card (serial 222) whose node
// goes away for 1.5 s after a reset; card 2: of an unknown type, whose last update failed. Port 2
// runs at 500 kbit/s, the others at 1 Mbit/s; each port has its own transmit error count.
const std::string kCards =
    Block("Bus", "bitrate:1000000\n") +
    Block("Card", "type:3\nserial:111\n" + Block("Port", "bus:0\ntx_errors:10\n") +
                      Block("Port", "bus:0\ntx_errors:11\n")) +
    Block("Card", "type:259\nserial:222\nvanish_ms:1500\n" +
                      Block("Port", "bus:0\ntx_errors:12\nbitrate:500000\n") +
                      Block("Port", "bus:0\ntx_errors:13\n")) +
    Block("Card", "type:0x300\nupdate_failed:1\n" + Block("Port", "bus:0\n"));

// The dialog over the emulated cards, through a recorder of the calls, beside its owner at
// (200, 150).
class HardwareDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { cards.ports().Scan(false); }  // so that tests can name the nodes
    // Selects the item as a click does, with the tree's callback.
    void Select(const char* path) { dialog.tree->select_only(dialog.tree->find_item(path), 1); }
    PortInfo InfoOf(int port) { return CanIntf(cards, port, false).getPortInfo(); }
    // Takes the port's node away: the error that opening the port then gives.
    std::string Vanish(int port) {
        seam.node = cards.ports().Node(port);
        seam.gone = true;
        const std::string error = ThrownError([&] { CanIntf(cards, port, false); });
        return error.substr(error.find(' ') + 1);
    }

    TempDir dir;
    std::unique_ptr<EmulatedDriver> driver = DriverFrom(dir.path(), kCards);
    Vanishing seam{*driver};
    Cards cards{&seam, SocketCanPorts::LeftOut};
    PortSelection ports{&cards};  // the session's Monitor flags, which the dialog sets
    StubFrame owner;
    HardwareDialogFLTK dialog{cards, ports, &owner};
};

TEST_F(HardwareDialogTest, ShowsEachItemsPanelAndSetsFlagsAndRates) {
    const int fd = OpenPort(*driver, cards.ports().Node(0).c_str());
    dialog.Show();
    EXPECT_STREQ(dialog.window->label(), "CAN Hardware Configuration");
    EXPECT_EQ(std::vector<int>(
                  {dialog.window->x(), dialog.window->y(), dialog.window->w(), dialog.window->h()}),
              std::vector<int>({300, 250, 500, 300}));
    // Each port also by its number across the cards.
    EXPECT_EQ(TreeText(dialog.tree),
              "CARD 0* CARD 0/PORT 1 (port 0) CARD 0/PORT 2 (port 1) CARD 1 CARD 1/PORT 1 (port 2) "
              "CARD 1/PORT 2 (port 3) CARD 2 CARD 2/PORT 1 (port 4)");
    for (const auto& [item, position, field, text] :
         {std::tuple{"CARD 0", 0, dialog.cardType, std::string("TRL-PCI-2 - rev 4")},
          {"CARD 0", 0, dialog.serialNum, "111"},
          {"CARD 1", 2, dialog.cardType, "TRL-VR-1"},
          {"CARD 1", 2, dialog.serialNum, "222"},
          {"CARD 2", 4, dialog.cardType, "Unknown: 0x00000300"},
          {"CARD 2", 4, dialog.warning, "Last firmware update failed!"},
          {"CARD 1/PORT 2 (port 3)", 3, dialog.txErrors, "13"},
          {"CARD 1/PORT 2 (port 3)", 3, dialog.status, InfoOf(3).status},
          {"CARD 1/PORT 2 (port 3)", 3, dialog.loading, "  0.0%"},
          {"CARD 0/PORT 2 (port 1)", 1, dialog.txErrors, "11"}}) {
        Select(item);
        const bool card = !std::strchr(item, '/');
        EXPECT_TRUE(dialog.Position() == position && dialog.cardPanel->visible() == card &&
                    dialog.portPanel->visible() != card)
            << item;
        EXPECT_EQ(field->value(), text) << item;
        EXPECT_TRUE(!card || (dialog.warning->visible() != 0) == (position == 4)) << item;
    }

    // The check button shows and sets the Monitor flag of the port selected.
    EXPECT_TRUE(dialog.monitorBtn->value());
    dialog.monitorBtn->value(0);
    dialog.monitorBtn->do_callback();
    int list[64];
    ASSERT_EQ(ports.GetPortList(list, 64), 5);
    EXPECT_EQ(std::vector<int>(list, list + 5), std::vector<int>({0, -1, 2, 0, 0}));
    EXPECT_EQ(ports.GetPortList(list, 2), 2);
    Select("CARD 1/PORT 1 (port 2)");
    EXPECT_TRUE(dialog.monitorBtn->value());
    Select("CARD 0/PORT 2 (port 1)");
    EXPECT_FALSE(dialog.monitorBtn->value());

    // The bit rate is fixed for an open port and set at once for a closed one.
    Select("CARD 0/PORT 1 (port 0)");
    EXPECT_TRUE(!dialog.bitRate->active() && dialog.bitRate->value() == 0);
    Select("CARD 1/PORT 1 (port 2)");
    EXPECT_TRUE(dialog.bitRate->active() && dialog.bitRate->value() == 2);
    EXPECT_STREQ(dialog.bitRate->text(3), "250,000 bps");
    dialog.bitRate->picked(dialog.bitRate->menu() + 3);
    EXPECT_EQ(InfoOf(2).baudCode, 3);
    driver->Close(fd);
    dialog.window->hide();
}

TEST_F(HardwareDialogTest, VanishedCardsAndPortsAreWaitedForOrReported) {
    dialog.Show();
    // A rate that cannot be set is reported once.
    Select("CARD 1/PORT 1 (port 2)");
    std::string gone = Vanish(2);
    ASSERT_NE(gone, "(none)");
    EXPECT_EQ(CaptureAlert([&] { dialog.bitRate->picked(dialog.bitRate->menu() + 4); }), gone);
    seam.gone = false;
    EXPECT_EQ(InfoOf(2).baudCode, 2);

    // A reset is asked first; the reset of a card whose node goes away returns once it is back.
    Select("CARD 1");
    Fl_Widget* reset = Labelled(dialog.cardPanel, "Reset");
    const std::string asked =
        "Reset CARD 1?\nThe card restarts: reading its ports stops until it is back.";
    EXPECT_EQ(Answering({{"", "Cancel"}}, [&] { reset->do_callback(); }), asked);
    EXPECT_EQ(ThrownError([&] { CanIntf(cards, 2, false); }), "(none)");  // not restarting
    EXPECT_EQ(seam.refused, 0);
    EXPECT_EQ(Answering({{"", "Reset"}}, [&] { reset->do_callback(); }), asked);
    EXPECT_FALSE(dialog.busy);
    EXPECT_GT(seam.refused, 0);
    EXPECT_EQ(cards.ports().Count(), 5);
    EXPECT_EQ(InfoOf(2).baudCode, 2);
    // A card that cannot be reached is reported.
    Select("CARD 0");
    gone = Vanish(0);
    EXPECT_EQ(
        Answering({{"", "Reset"}, {}}, [&] { reset->do_callback(); }),
        "Reset CARD 0?\nThe card restarts: reading its ports stops until it is back.|" + gone);
    EXPECT_FALSE(dialog.busy);
    seam.gone = false;

    // The timer's refreshes show a vanished port's error, then the port again once it is back.
    Select("CARD 1/PORT 2 (port 3)");
    const std::string normal = InfoOf(3).status;
    gone = Vanish(3);
    ASSERT_NE(gone, normal);
    ASSERT_TRUE(UntilUi([&] { return dialog.status->value() == gone; })) << dialog.status->value();
    EXPECT_TRUE(dialog.window->shown());
    seam.gone = false;
    ASSERT_TRUE(UntilUi([&] { return dialog.status->value() == normal; }));
    dialog.window->hide();
}

// A file meant for other cards, or one whose own images break their rules (the rules and their
// reasons belong to the firmware file), is refused with its reason before anything reaches the
// card's flash; a good one is downloaded with a progress window at the main window.
TEST_F(HardwareDialogTest, FirmwareUpdateChecksTheCardThenDownloadsWithProgress) {
    dialog.Show();
    Select("CARD 0");  // type 3
    FirmwareImages images;
    images.mainVersion = 0x00030300;
    const auto update = [&](std::array<uint16_t, 4> compat, size_t boot, size_t main) {
        images.compat = compat;
        images.boot = PatternImage(boot, 3);
        images.main = PatternImage(main, 1);
        images.fpga = PatternImage(512, 2);
        const std::vector<uint8_t> bytes = BuildFirmwareFile(images);
        WriteFile(dir.file("fw.kfw"), std::string(bytes.begin(), bytes.end()));
        return CaptureAlert([&] { dialog.UpdateFirmwareFrom(dir.file("fw.kfw").c_str()); });
    };

    // Refused: nothing erased or downloaded, the card's images and version as they were.
    EXPECT_EQ(update({1, 256, 0, 0}, 0, 1024), "Firmware not compatible with card");
    EXPECT_EQ(update({3, 0, 0, 0}, 64, 2050), "Firmware byte count (2050) must be a multiple of 4");
    EXPECT_EQ(CaptureAlert([&] { dialog.UpdateFirmwareFrom(dir.file("none.kfw").c_str()); }),
              "Unable to open file " + dir.file("none.kfw") + " for reading");
    EXPECT_FALSE(dialog.busy);
    for (const std::string& call : seam.calls)
        EXPECT_TRUE(call.find("c008b706 0006") != 0 && call.find("c008b706 0007") != 0) << call;
    for (uint32_t image : {kBootImageId, kMainImageId, kFpgaImageId})
        EXPECT_TRUE(driver->Flash(0, image).empty());
    EXPECT_EQ(CanIntf(cards, 0, false).getCardInfo().fwVersion, "2.01.05");

    // The progress window, looked for at every call to the card, opens at the main window.
    std::vector<int> progressAt;
    seam.rewrite = [&](unsigned long, void*) {
        for (Fl_Window* w = Fl::first_window(); w && progressAt.empty(); w = Fl::next_window(w))
            if (w->children() > 0 && dynamic_cast<Fl_Progress*>(w->child(0)))
                progressAt = {w->x(), w->y()};
    };
    EXPECT_EQ(update({3, 0, 0, 0}, 0, 1024), "Firmware updated to version 3.03.00");
    seam.rewrite = nullptr;
    EXPECT_EQ(progressAt, std::vector<int>({200, 150}));
    EXPECT_FALSE(dialog.busy);
    // The main program and the FPGA image erased; the file has no boot loader.
    EXPECT_EQ(std::count_if(seam.calls.begin(), seam.calls.end(),
                            [](const std::string& c) { return c.find("c008b706 00060001") == 0; }),
              2);
    EXPECT_EQ(driver->Flash(0, kMainImageId), images.main);
    EXPECT_EQ(driver->Flash(0, kFpgaImageId), images.fpga);
    dialog.window->hide();
}

}  // namespace
