#include "hw/can_intf_socket.h"

#include <gtest/gtest.h>
#include <linux/can/error.h>
#include <linux/can/netlink.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hw/cards.h"
#include "hw/hw_test_support.h"
#include "hw/port_survey.h"
#include "hw/port_table.h"
#include "hw/socket_calls.h"

namespace {

// The kernel's side: a socket pair carrying can_frame records in place of an AF_CAN socket, and
// the interface's bit rate, state and counters in place of libsocketcan's answers.
class FakeKernel : public SocketCalls {
  public:
    FakeKernel() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0); }
    ~FakeKernel() override {
        close(pair[0]);
        close(pair[1]);
    }
    int Socket(int domain, int type, int protocol) override {
        log.push_back(Format("socket %d %d %d", domain, type, protocol));
        return dup(pair[0]);
    }
    int Bind(int, const sockaddr* addr, socklen_t) override {
        log.push_back(Format("bind %d", reinterpret_cast<const sockaddr_can*>(addr)->can_ifindex));
        return 0;
    }
    // The time stamp option is the real one: the socket pair stamps as the kernel does.
    int SetSockOpt(int fd, int level, int name, const void* value, socklen_t length) override {
        log.push_back(
            Format("option %d %d %08x", level, name, *static_cast<const uint32_t*>(value)));
        return level == SOL_SOCKET ? SocketCalls::SetSockOpt(fd, level, name, value, length) : 0;
    }
    unsigned IfNameToIndex(const char* name) override {
        return name == std::string("can0") ? 7 : 0;
    }
    int GetBitRate(const char*, uint32_t* bps) override {
        *bps = bitRate;
        return bitRate ? 0 : -1;
    }
    int GetState(const char*, int* s) override {
        *s = state;
        return 0;
    }
    int GetBerrCounter(const char*, can_berr_counter* c) override {
        *c = counters;
        return 0;
    }
    int SetBitRate(const char*, uint32_t bps) override {
        log.push_back(Format("set %u", bps));
        if (!allowed) return errno = EPERM, -1;
        bitRate = bps;
        return 0;
    }
    void Deliver(canid_t id, uint8_t length, std::vector<uint8_t> data = {}) {
        can_frame frame{};
        frame.can_id = id;
        frame.can_dlc = length;
        for (size_t i = 0; i < data.size(); i++) frame.data[i] = data[i];
        ASSERT_EQ(write(pair[1], &frame, sizeof frame), static_cast<ssize_t>(sizeof frame));
    }
    int pair[2] = {-1, -1};
    std::vector<std::string> log;
    uint32_t bitRate = 500000;  // 0: none (vcan)
    int state = CAN_STATE_ERROR_ACTIVE;
    can_berr_counter counters{};
    bool allowed = false;
};

class CanIntfSocketTest : public testing::Test {
  protected:
    Nodes nodes;
    FakeKernel kernel;
    Cards cards{&nodes, SocketCanPorts::Listed, &kernel};
    // The network interfaces can0 and eth0: port 0 is can0.
    static Cards& WithInterfaces(Cards& cards) {
        cards.ports().SetNetFolder(HW_DATA_DIR "/net/one");
        return cards;
    }
    CanIntf port{WithInterfaces(cards), 0, false};
    Transcript t{&kernel.log};
};

}  // namespace

// Device nodes of both families until the first gap, then the interfaces of type CAN (280) of
// data/net/scan by name.
TEST(PortTableScan, NodesOfBothFamiliesUntilAGapThenInterfacesOfTypeCan) {
    Nodes nodes;
    nodes.names = {"/dev/ulcan00", "/dev/ulcan01", "/dev/tarvelcan00"};
    Cards cards(&nodes, SocketCanPorts::Listed);
    PortTable& ports = cards.ports();
    ports.SetNetFolder(HW_DATA_DIR "/net/scan");
    ports.Scan(false);
    std::string found;
    for (int i = 0; i < ports.Count(); i++)
        found += ports.Node(i) + (ports.IsInterface(i) ? "+ " : " ");
    EXPECT_EQ(found, "/dev/ulcan00 /dev/ulcan01 /dev/tarvelcan00 can0+ can1+ vcan0+ ");
    // Opening the node fails after the scan: the port number was valid.
    EXPECT_EQ(ThrownError([&] { CanIntf(cards, 2, false); }),
              "5 Unable to open CAN device /dev/tarvelcan00");
    // QUILLON_SOCKETCAN=0 leaves the interfaces out.
    EXPECT_EQ(SocketCanPortsFrom("0"), SocketCanPorts::LeftOut);
    for (const char* value : {static_cast<const char*>(nullptr), "", "1", "00"})
        EXPECT_EQ(SocketCanPortsFrom(value), SocketCanPorts::Listed) << (value ? value : "null");
    Cards without(&nodes, SocketCanPorts::LeftOut);
    without.ports().SetNetFolder(HW_DATA_DIR "/net/scan");
    without.ports().Scan(false);
    EXPECT_EQ(without.ports().Count(), 3);
    // A scan younger than five seconds is reused, unless a rescan is asked for.
    nodes.names = {"/dev/ulcan00", "/dev/ulcan02", "/dev/tarvelcan00"};
    EXPECT_EQ(ThrownError([&] { CanIntf(cards, 6, false); }), "10 Invalid CAN port number: 6");
    EXPECT_EQ(ports.Count(), 6);
    EXPECT_EQ(ThrownError([&] { CanIntf(cards, 5, true); }), "10 Invalid CAN port number: 5");
    EXPECT_EQ(ports.Count(), 5);
    // 62 device nodes leave room for two interfaces of the three.
    for (int i = 0; i < 62; i++) nodes.names.insert(Format("/dev/ulcan%02d", i));
    ports.Scan(true);
    EXPECT_EQ(ports.Count(), 64);
    EXPECT_EQ(ports.Node(62) + " " + ports.Node(63), "/dev/tarvelcan00 can0");
    EXPECT_FALSE(ports.IsInterface(62));
    EXPECT_TRUE(ports.IsInterface(63));
    EXPECT_FALSE(ports.IsInterface(64));
}

// Frames both ways; Interrupt ends the reads.
TEST_F(CanIntfSocketTest, FramesBothWaysOverTheSocketUntilInterrupted) {
    CANframe frame;
    const auto deliver = [&](canid_t id, uint8_t length, std::vector<uint8_t> data) {
        kernel.Deliver(id, length, data);
        const uint32_t before = GetTime();
        port.read(frame, 1000);
        // The kernel's stamp, on the program's clock: taken when the record was sent.
        EXPECT_LE(before - frame.timestamp, 1000000u);
        return FrameRow(frame);
    };
    t("read closed", [&] { port.read(frame, 10); });
    t("open", [&] { port.open(); });
    t("open", [&] { port.open(); });
    t("read nothing", [&] { port.read(frame, 10); });
    for (uint8_t length = 0; length <= 8; length++)
        t("read", [&] { return deliver(0x123, length, {1, 2, 3, 4, 5, 6, 7, 8}); });
    t("read", [&] { return deliver(0x1ABCDEF1 | CAN_EFF_FLAG, 3, {0xA1, 0xB2, 0xC3}); });
    t("read", [&] { return deliver(0x701 | CAN_RTR_FLAG, 2, {}); });
    t("read", [&] { return deliver(0x1F | CAN_RTR_FLAG | CAN_EFF_FLAG, 0, {}); });
    t("read error", [&] {
        return deliver(CAN_ERR_FLAG | CAN_ERR_ACK | CAN_ERR_CNT, CAN_ERR_DLC,
                       {0, 0, 0, 0, 0, 0, 97, 130});
    });
    // Without the counters in the frame, the interface's own.
    kernel.counters = {3, 4};
    t("read error", [&] { return deliver(CAN_ERR_FLAG | CAN_ERR_BUSOFF, CAN_ERR_DLC, {}); });

    frame = MakeFrame(FRAME_DATA, true, 0x3ABCDEF1, {0x11, 0x22});
    t("write", [&] { port.write(frame, 50); });
    frame = MakeFrame(FRAME_RTR, false, 0x7FF, {}, 4);
    t("write", [&] { port.write(frame, 50); });
    can_frame sent;
    for (int i = 0; i < 2; i++)
        t("sent", [&] {
            EXPECT_EQ(read(kernel.pair[1], &sent, sizeof sent), 16);
            return Format("%08x %d %02x%02x", sent.can_id, sent.can_dlc, sent.data[0],
                          sent.data[1]);
        });
    // A transmit queue that stays full answers busy once the record's time-out has passed.
    while (send(kernel.pair[0], &sent, sizeof sent, MSG_DONTWAIT) > 0) {
    }
    t("write to a full queue", [&] { port.write(frame, 20); });
    // Another thread's Interrupt ends a waiting read, and every later one at once: a stopping
    // reader is not held until its read times out (here an hour: a read that is not woken hangs the
    // test).
    std::thread reader([&] { t("read an hour", [&] { port.read(frame, 3600 * 1000); }); });
    port.Interrupt();
    reader.join();
    kernel.Deliver(0x123, 0);
    t("read an hour after the interrupt", [&] { port.read(frame, 3600 * 1000); });
    t("close", [&] { port.close(); });
    t("command 2", [&] { port.SendCMD(2); });
    ExpectGolden(HW_DATA_DIR "/can_intf_socket_frames.txt", t.text);
}

// The rows of data/socketcan_error_classes.txt, with the error counters in bytes 6 and 7.
TEST(CanIntfSocketRecords, ErrorClassesMapOntoTheProgramsBitsAndCounters) {
    std::istringstream table(ReadFile(HW_DATA_DIR "/socketcan_error_classes.txt"));
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line[0] == '#') continue;
        can_frame frame{};
        unsigned bits = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%x %hhx %hhx %hhx %x", &frame.can_id, &frame.data[1],
                              &frame.data[2], &frame.data[3], &bits),
                  5)
            << line;
        frame.can_id |= CAN_ERR_FLAG;
        frame.can_dlc = CAN_ERR_DLC;
        frame.data[6] = 0x60, frame.data[7] = 0x80;
        __CANCARD_MSG msg{};
        CanIntfSocket::ToRecord(frame, msg);
        EXPECT_EQ(Format("%x %x %02x %02x %02x", msg.id, msg.flags, msg.data[0], msg.data[1],
                         msg.data[2]),
                  Format("%x 82 60 80 00", bits))
            << line;
        rows++;
    }
    EXPECT_EQ(rows, 20);
    EXPECT_EQ(CanIntfSocket::StampMicros({4294, 967297}), 1u);  // wraps as GetTime does
    EXPECT_EQ(CanIntfSocket::StampMicros({12, 345}), 12000345u);
}

// The kernel's version stands for the firmware's and the driver's; firmware download and bus
// analysis have no equivalent; the reader counts the bus load (parameter 11 is never asked).
TEST_F(CanIntfSocketTest, BitRateStateAndCardAsTheDialogsAskThem) {
    const CardInfo card = port.getCardInfo();
    EXPECT_EQ(card.cardType, kCardTypeSocketCan);
    EXPECT_EQ(card.serialNum, 7);
    EXPECT_GT(card.fwVersionRaw, 0x1FFu);
    EXPECT_EQ(card.fwVersion, card.drvVersion);
    const auto code = [&] { return std::to_string(port.getBaud()); };
    t("code", code);
    t("set the running code", [&] { port.setBaud(2); });
    t("set code 3", [&] { port.setBaud(3); });
    kernel.allowed = true;
    t("set code 3 as administrator", [&] { port.setBaud(3); });
    t("code", code);
    kernel.bitRate = 123456;
    t("code of 123456 bit/s", code);
    kernel.bitRate = 0;  // vcan: no rate, and setting one changes nothing
    t("set code 5 on vcan", [&] { port.setBaud(5); });
    t("code on vcan", code);
    kernel.counters = {97, 130};
    for (int s = CAN_STATE_ERROR_ACTIVE; s <= CAN_STATE_BUS_OFF; s++) {
        kernel.state = s;
        t(Format("port in state %d", s), [&] { return Describe(port.getPortInfo()); });
    }
    port.open();
    port.SetLoading(12.5);
    t("open port", [&] { return Describe(port.getPortInfo()); });
    kernel.state = CAN_STATE_ERROR_PASSIVE;
    t("open port", [&] { return Describe(port.getPortInfo()); });
    for (int opcode : {6, 7, 8, 9, 11, 12})
        t(Format("command %d", opcode), [&] { port.SendCMD(opcode); });
    t("parameter 11", [&] { port.GetParam(11); });
    t("survey", [&] {
        const std::vector<SurveyedPort> ports = SurveyPorts(cards, false);
        return Format("%zu ports, ", ports.size()) + CardTypeText(ports[0]);
    });
    t("open port 1", [&] { CanIntfSocket(cards).Open(1); });
    ExpectGolden(HW_DATA_DIR "/can_intf_socket_dialogs.txt", t.text);
}
