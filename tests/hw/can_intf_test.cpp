#include "hw/can_intf.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/utils.h"
#include "hw/can_intf_local.h"
#include "hw/cards.h"
#include "sim/emulation_test_support.h"
#include "support/test_support.h"

namespace {

// Device nodes only: the scan's view of the machine.
class Nodes : public DriverCalls {
  public:
    int Access(const char* path, int) override {
        if (names.count(path)) return 0;
        errno = ENOENT;
        return -1;
    }
    int Open(const char*, int) override { return -1; }
    int Close(int) override { return 0; }
    int Ioctl(int, unsigned long, void*) override { return -1; }
    std::set<std::string> names;
};

class CanIntfTest : public testing::Test {
  protected:
    void Install(const std::string& body) {
        cards.reset();
        driver = DriverFrom(dir.path(), body);
        recorder = std::make_unique<Recorder>(*driver);
        cards = std::make_unique<Cards>(recorder.get(), SocketCanPorts::LeftOut);
    }
    TempDir dir;
    std::unique_ptr<EmulatedDriver> driver;
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<Cards> cards;  // first to go
};

const char kTwoPorts[] =
    "[Bus]\nbitrate:500000\n[END]\n"
    "[Card]\ntype:260\nserial:77\nfirmware:0x00030204\nparam1:11\nparam7:7\nparam8:8\n"
    "analog2:65536\nanalog3:13107\nanalog4:0\nupdate_failed:1\n"
    "[Port]\nbus:0\ntx_errors:5\nrx_errors:7\nbus_off:1\n[END]\n[Port]\nbus:0\n[END]\n[END]\n"
    "[Card]\nfamily:tarvelcan\ntype:3\nfirmware:0x000001FF\n[Port]\nbus:0\n[END]\n[END]\n";

}  // namespace

TEST_F(CanIntfTest, CardAndPortInformationInTheDriversWords) {
    Install(kTwoPorts);
    CanIntf port(*cards, 0, false);
    recorder->calls.clear();
    const CardInfo card = port.getCardInfo();
    // Card information, then the driver's version, then the parameters in their order.
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{
                                   "c008b706 00050000 00000000", "c008b706 00fe0000 00000000",
                                   "c008b706 000a0001 00000000", "c008b706 000a0001 00000001",
                                   "c008b706 000a0001 00000002", "c008b706 000a0001 00000003",
                                   "c008b706 000a0001 00000004", "c008b706 000a0001 00000008",
                                   "c008b706 000a0001 00000007", "c008b706 000a0001 0000000c"}));
    EXPECT_EQ(Format("%d %s %d %d %d %d %d %.1f %.1f %d %u", card.cardType, card.fwVersion.c_str(),
                     card.serialNum, card.param1, card.param7, card.param8, card.param12,
                     card.analog2, card.analog3, card.clockMHz, card.fwVersionRaw),
              "260 3.02.04 77 11 7 8 1 10.0 1.0 100 197124");

    PortInfo info = port.getPortInfo();
    EXPECT_EQ(info.status + "|" + info.txErrors + "|" + info.rxErrors,
              "Port Closed|5 (Bus Off)|7 (Bus Off)");
    EXPECT_EQ(info.isOpen, 0);
    recorder->calls.clear();
    port.open();
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"c008b706 00010000 00000000",
                                                         "c008b706 00fc0001 00000001"}));
    EXPECT_EQ(ThrownError([&] { port.open(); }), "10 Can't open port, already open");
    info = port.getPortInfo();
    // Status bits 16 to 21 of 0x3E: open, synchronised, both counters bus-off.
    EXPECT_EQ(info.status + "|" + info.txErrors + "|" + info.rxErrors,
              "Port Opened|5 (Bus Off)|7 (Bus Off)");
    EXPECT_EQ(info.isOpen, 1);
    EXPECT_EQ(info.baudCode, 2);
    EXPECT_EQ(port.GetBPS(), 500000);
    port.setBaud(7);
    EXPECT_EQ(recorder->calls.back(), "c008b706 00030001 00000008");
    EXPECT_EQ(port.getBaud(), 7);
    EXPECT_EQ(ThrownError([&] { port.setBaud(8); }), "10 Unknown baud rate: 8");
    EXPECT_EQ(CanIntf::GetBPS(7), 20000);
    EXPECT_EQ(CanIntf::GetBPS(8), 0);
    EXPECT_EQ(CanIntf::FmtVerStr(0x000A0B0C), "10.11.12");

    // Firmware up to 0.01.255 reports nothing of the port's state.
    CanIntf old(*cards, 2, false);
    info = old.getPortInfo();
    EXPECT_EQ(info.status + "|" + info.txErrors + "|" + info.rxErrors,
              "Not available|Not available|Not available");
    EXPECT_EQ(old.getCardInfo().param12, 0);  // asked of cards above type 255 only
}

// The transmit state (bits 18 and 19 of the port's status word) suffixes the transmit error
// count, the receive state (bits 20 and 21) the receive error count, each on its own.
TEST_F(CanIntfTest, TransmitAndReceiveStatesSuffixTheirOwnCounters) {
    struct Row {
        int txState, rxState;
        const char* errors;  // transmit|receive
    };
    const Row rows[] = {
        {0, 1, "5|7 (Warning)"},
        {1, 0, "5 (Warning)|7"},
        {0, 2, "5|7 (Error)"},
        {2, 0, "5 (Error)|7"},
        {0, 3, "5|7 (Bus Off)"},
        {3, 0, "5 (Bus Off)|7"},
        {1, 2, "5 (Warning)|7 (Error)"},
        {2, 1, "5 (Error)|7 (Warning)"},
        {2, 3, "5 (Error)|7 (Bus Off)"},
        {3, 1, "5 (Bus Off)|7 (Warning)"},
        {1, 1, "5 (Warning)|7 (Warning)"},
    };
    for (const Row& row : rows) {
        Install(Block("Bus", "bitrate:500000\n") +
                Block("Card", "type:260\nfirmware:0x00030204\n" +
                                  Block("Port", Format("bus:0\ntx_errors:5\nrx_errors:7\n"
                                                       "tx_state:%d\nrx_state:%d\n",
                                                       row.txState, row.rxState))));
        const PortInfo info = CanIntf(*cards, 0, false).getPortInfo();
        EXPECT_EQ(info.txErrors + "|" + info.rxErrors, row.errors)
            << "tx_state " << row.txState << ", rx_state " << row.rxState;
    }
}

TEST_F(CanIntfTest, FramesCrossTheSeamByteForByte) {
    Install(kTwoPorts);
    CanIntf sender(*cards, 0, false), receiver(*cards, 1, false);
    CANframe frame;
    EXPECT_EQ(ThrownError([&] { receiver.read(frame, 10); }),
              "4 Attempt to read from closed CAN port");
    EXPECT_EQ(ThrownError([&] { sender.write(frame, 10); }),
              "4 Attempt to write to closed CAN port");
    sender.open();
    receiver.open();
    EXPECT_EQ(ThrownError([&] { receiver.read(frame, 10); }), "8 CAN driver timeout");

    frame.id = 0x3ABCDEF1;  // bits above the 29 are not the driver's
    frame.extended = 1;
    frame.length = 3;
    frame.data[0] = 0xA1, frame.data[1] = 0xB2, frame.data[2] = 0xC3, frame.data[3] = 0xD4;
    recorder->calls.clear();
    sender.write(frame, 50);
    // time-out, time stamp, identifier, flags, data bytes
    EXPECT_EQ(recorder->calls.back(),
              "4018b704 00000032 00000000 1abcdef1 00000043 00c3b2a1 00000000");
    receiver.read(frame, 1000);
    EXPECT_EQ(
        Format("%d %d %08x %d %02x%02x%02x %d %d", frame.type, frame.extended, frame.id,
               frame.length, frame.data[0], frame.data[1], frame.data[2], frame.port, frame.txPrev),
        "0 1 3abcdef1 3 a1b2c3 1 -1");

    frame.Reset(false);
    frame.type = FRAME_RTR;
    frame.id = 0x701;
    frame.length = 2;
    sender.write(frame, 50);
    EXPECT_EQ(recorder->calls.back(),
              "4018b704 00000032 00000000 00000701 00000012 00000000 00000000");
    // A length beyond 8 from the driver is 8.
    recorder->rewrite = [](unsigned long request, void* arg) {
        if (request == kIoctlRecvMsg) static_cast<__CANCARD_MSG*>(arg)->flags |= 12;
    };
    receiver.read(frame, 1000);
    EXPECT_EQ(Format("%d %08x %d", frame.type, frame.id, frame.length), "1 00000701 8");

    frame.length = 9;
    EXPECT_EQ(ThrownError([&] { sender.write(frame, 1); }),
              "1 Bad CAN frame passed to CanIntf::write, length 9");
    frame.length = 0;
    frame.type = FRAME_ERROR;
    EXPECT_EQ(ThrownError([&] { sender.write(frame, 1); }),
              "1 Unknown frame type (2) passed to CanIntf::write");
    EXPECT_EQ(ThrownError([&] { sender.SendCMD(1); }), "2 Attempt to reopen an open CAN port");
    EXPECT_EQ(ThrownError([&] { sender.SendCMD(0x77); }),
              "1 CAN driver reported a bad command code");
}

TEST_F(CanIntfTest, DriverErrorsAndPortNumbers) {
    const char* const messages[] = {"0 (none)",
                                    "1 CAN driver reported a bad command code",
                                    "1 CAN driver reported a bad parameter",
                                    "2 Attempt to reopen an open CAN port",
                                    "3 Attempt to access a closed CAN port",
                                    "7 CAN card busy error",
                                    "10 Internal error reported by driver",
                                    "8 CAN driver timeout",
                                    "10 Received signal from driver",
                                    "11 Unknown CAN error 9"};
    for (int code = 0; code <= 9; code++) {
        const std::string got = ThrownError([&] { CanIntfLocal::ThrowDriverError(code); });
        EXPECT_EQ(got == "(none)" ? "0 (none)" : got, messages[code]);
    }
    EXPECT_EQ(ThrownError([&] { CanIntfLocal::ThrowDriverError(-1); }), "11 Unknown CAN error -1");

    Install(kTwoPorts + std::string("[Card]\nbusy_every:1\n[Port]\nbus:0\n[END]\n[END]\n"));
    EXPECT_EQ(ThrownError([&] { CanIntf(*cards, 4, false); }), "10 Invalid CAN port number: 4");
    EXPECT_EQ(ThrownError([&] { CanIntf(*cards, -1, false); }), "10 Invalid CAN port number: -1");
    EXPECT_EQ(ThrownError([&] { CanIntfLocal(*cards).Open(4); }), "5 Unknown CAN port number: 4");
    EXPECT_EQ(ThrownError([&] { CanIntf(*cards, 2, false).getBaud(); }),
              "7 CAN card busy error");  // the ulcan nodes first
}

TEST_F(CanIntfTest, ScanFindsBothFamiliesUntilAGap) {
    Nodes nodes;
    nodes.names = {"/dev/ulcan00", "/dev/ulcan01", "/dev/tarvelcan00"};
    Cards machine(&nodes, SocketCanPorts::LeftOut);
    machine.ports().Scan(false);
    EXPECT_EQ(machine.ports().Count(), 3);
    EXPECT_EQ(machine.ports().Node(1) + " " + machine.ports().Node(2),
              "/dev/ulcan01 /dev/tarvelcan00");
    // Opening the node fails after the scan: the port number was valid.
    EXPECT_EQ(ThrownError([&] { CanIntf(machine, 2, false); }),
              "5 Unable to open CAN device /dev/tarvelcan00");

    nodes.names = {"/dev/ulcan00", "/dev/ulcan02"};
    // A scan younger than five seconds is reused, unless a rescan is asked for.
    EXPECT_EQ(ThrownError([&] { CanIntf(machine, 3, false); }), "10 Invalid CAN port number: 3");
    EXPECT_EQ(machine.ports().Count(), 3);
    EXPECT_EQ(ThrownError([&] { CanIntf(machine, 1, true); }), "10 Invalid CAN port number: 1");
    EXPECT_EQ(machine.ports().Count(), 1);
}
