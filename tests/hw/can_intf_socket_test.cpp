#include "hw/can_intf_socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/can/error.h>
#include <linux/can/netlink.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/utils.h"
#include "hw/can_intf.h"
#include "hw/cards.h"
#include "hw/port_survey.h"
#include "hw/port_table.h"
#include "hw/socket_calls.h"
#include "sim/emulation_test_support.h"
#include "support/test_support.h"

namespace {

// Device nodes only: the scan's view of the card families.
class Nodes : public DriverCalls {
  public:
    int Access(const char* path, int) override {
        return names.count(path) ? 0 : (errno = ENOENT, -1);
    }
    int Open(const char*, int) override { return -1; }
    int Close(int) override { return 0; }
    int Ioctl(int, unsigned long, void*) override { return -1; }
    std::set<std::string> names;
};

// A system folder of network interfaces, each with its type, for the scans of a port table.
class NetFolder {
  public:
    NetFolder(PortTable& table, const std::map<std::string, int>& types) {
        for (const auto& [name, type] : types) {
            mkdir(dir.file(name).c_str(), 0755);
            if (type >= 0) WriteFile(dir.file(name) + "/type", Format("%d\n", type));
        }
        table.SetNetFolder(dir.path());
    }
    TempDir dir;
};

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

std::string Row(const CANframe& f) {
    std::string row = Format("%d %d %08x %d", f.type, f.extended, f.id, f.length);
    for (int i = 0; i < f.length; i++) row += Format(" %02x", f.data[i]);
    return row;
}

class CanIntfSocketTest : public testing::Test {
  protected:
    Nodes nodes;
    FakeKernel kernel;
    Cards cards{&nodes, SocketCanPorts::Listed, &kernel};
    NetFolder folder{cards.ports(), {{"can0", 280}, {"eth0", 1}}};
};

}  // namespace

TEST(PortTableScan, InterfacesOfTypeCanFollowTheDeviceNodesInNameOrder) {
    Nodes nodes;
    nodes.names = {"/dev/ulcan00", "/dev/tarvelcan00"};
    const std::map<std::string, int> types = {{"vcan0", 280}, {"can1", 280}, {"eth0", 1},
                                              {"can0", 280},  {"lo", 772},   {"odd", -1}};
    Cards cards(&nodes, SocketCanPorts::Listed);
    PortTable& ports = cards.ports();
    NetFolder folder(ports, types);
    ports.Scan(false);
    ASSERT_EQ(ports.Count(), 5);
    std::string found;
    for (int i = 0; i < 5; i++) found += ports.Node(i) + (ports.IsInterface(i) ? "+ " : " ");
    EXPECT_EQ(found, "/dev/ulcan00 /dev/tarvelcan00 can0+ can1+ vcan0+ ");
    {
        Cards without(&nodes, SocketCanPorts::LeftOut);
        NetFolder same(without.ports(), types);
        without.ports().Scan(false);
        EXPECT_EQ(without.ports().Count(), 2);
    }
    // 62 device nodes leave room for two interfaces of the three.
    for (int i = 0; i < 62; i++) nodes.names.insert(Format("/dev/ulcan%02d", i));
    ports.Scan(true);
    EXPECT_EQ(ports.Count(), 64);
    EXPECT_EQ(ports.Node(62) + " " + ports.Node(63), "/dev/tarvelcan00 can0");
    EXPECT_FALSE(ports.IsInterface(62));
    EXPECT_TRUE(ports.IsInterface(63));
    EXPECT_FALSE(ports.IsInterface(64));
}

TEST(PortTableScan, QuillonSocketcanZeroLeavesTheInterfacesOut) {
    EXPECT_EQ(SocketCanPortsFrom("0"), SocketCanPorts::LeftOut);
    EXPECT_EQ(SocketCanPortsFrom(nullptr), SocketCanPorts::Listed);
    EXPECT_EQ(SocketCanPortsFrom(""), SocketCanPorts::Listed);
    EXPECT_EQ(SocketCanPortsFrom("1"), SocketCanPorts::Listed);
    EXPECT_EQ(SocketCanPortsFrom("00"), SocketCanPorts::Listed);
}

TEST_F(CanIntfSocketTest, FramesBothWaysOverTheSocket) {
    CanIntf port(cards, 0, false);
    CANframe frame;
    EXPECT_EQ(ThrownError([&] { port.read(frame, 10); }), "4 Attempt to read from closed CAN port");
    port.open();
    EXPECT_EQ(kernel.log, (std::vector<std::string>{"socket 29 3 1", "option 101 2 1fffffff",
                                                    "option 1 29 00000001", "bind 7"}));
    EXPECT_EQ(ThrownError([&] { port.open(); }), "10 Can't open port, already open");
    EXPECT_EQ(ThrownError([&] { port.read(frame, 10); }), "8 CAN driver timeout");

    for (uint8_t length = 0; length <= 8; length++) {
        kernel.Deliver(0x123, length, {1, 2, 3, 4, 5, 6, 7, 8});
        const uint32_t before = GetTime();
        port.read(frame, 1000);
        // The kernel's stamp, on the program's clock: taken when the record was sent.
        EXPECT_LE(before - frame.timestamp, 1000000u);
        EXPECT_EQ(Row(frame), Format("0 0 00000123 %d", length) +
                                  std::string(" 01 02 03 04 05 06 07 08").substr(0, 3 * length));
    }
    kernel.Deliver(0x1ABCDEF1 | CAN_EFF_FLAG, 3, {0xA1, 0xB2, 0xC3});
    port.read(frame, 1000);
    EXPECT_EQ(Row(frame), "0 1 3abcdef1 3 a1 b2 c3");
    kernel.Deliver(0x701 | CAN_RTR_FLAG, 2);
    port.read(frame, 1000);
    EXPECT_EQ(Row(frame), "1 0 00000701 2 00 00");
    kernel.Deliver(0x1F | CAN_RTR_FLAG | CAN_EFF_FLAG, 0);
    port.read(frame, 1000);
    EXPECT_EQ(Row(frame), "1 1 2000001f 0");
    kernel.Deliver(CAN_ERR_FLAG | CAN_ERR_ACK | CAN_ERR_CNT, CAN_ERR_DLC,
                   {0, 0, 0, 0, 0, 0, 97, 130});
    port.read(frame, 1000);
    EXPECT_EQ(Row(frame), "2 0 00000008 2 61 82");
    // Without the counters in the frame, the interface's own.
    kernel.counters = {3, 4};
    kernel.Deliver(CAN_ERR_FLAG | CAN_ERR_BUSOFF, CAN_ERR_DLC);
    port.read(frame, 1000);
    EXPECT_EQ(Row(frame), "2 0 00001000 2 03 04");

    frame.Reset(false);
    frame.id = 0x3ABCDEF1;
    frame.extended = 1;
    frame.length = 2;
    frame.data[0] = 0x11, frame.data[1] = 0x22;
    port.write(frame, 50);
    frame.Reset(false);
    frame.type = FRAME_RTR;
    frame.id = 0x7FF;
    frame.length = 4;
    port.write(frame, 50);
    can_frame sent[2];
    for (can_frame& s : sent) ASSERT_EQ(read(kernel.pair[1], &s, sizeof s), 16);
    EXPECT_EQ(Format("%08x %d %02x%02x %08x %d", sent[0].can_id, sent[0].can_dlc, sent[0].data[0],
                     sent[0].data[1], sent[1].can_id, sent[1].can_dlc),
              "9abcdef1 2 1122 400007ff 4");
    // A transmit queue that stays full answers busy once the record's time-out has passed.
    while (send(kernel.pair[0], &sent[0], sizeof sent[0], MSG_DONTWAIT) > 0) {
    }
    EXPECT_EQ(ThrownError([&] { port.write(frame, 20); }), "7 CAN card busy error");
    port.close();
    EXPECT_EQ(ThrownError([&] { port.SendCMD(2); }), "3 Attempt to access a closed CAN port");
}

// A read that waits is ended by another thread's Interrupt, and every later read ends at once:
// a stopping reader is not held until its read times out (here an hour: a read that is not woken
// hangs the test).
TEST_F(CanIntfSocketTest, InterruptEndsAWaitingReadAndEveryLaterOne) {
    constexpr int kHour = 3600 * 1000;
    CanIntf port(cards, 0, false);
    port.open();
    CANframe frame;
    std::string waited;
    std::thread reader([&] { waited = ThrownError([&] { port.read(frame, kHour); }); });
    port.Interrupt();
    reader.join();
    EXPECT_EQ(waited, "8 CAN driver timeout");
    kernel.Deliver(0x123, 0);
    EXPECT_EQ(ThrownError([&] { port.read(frame, kHour); }), "8 CAN driver timeout");
}

TEST(CanIntfSocketRecords, ErrorClassesMapOntoTheProgramsBitsAndCounters) {
    struct Case {
        canid_t classes;
        uint8_t crtl, type, location;
        uint32_t bits;
    };
    const Case cases[] = {
        {CAN_ERR_ACK, 0, 0, 0, 0x8},
        {CAN_ERR_PROT | CAN_ERR_BUSERROR, 0, CAN_ERR_PROT_STUFF | CAN_ERR_PROT_TX, 0, 0x1},
        {CAN_ERR_PROT, 0, CAN_ERR_PROT_FORM | CAN_ERR_PROT_ACTIVE, 0, 0x2},
        {CAN_ERR_PROT, 0, 0, CAN_ERR_PROT_LOC_CRC_SEQ, 0x4},
        {CAN_ERR_PROT, 0, 0, CAN_ERR_PROT_LOC_CRC_DEL, 0x4},
        {CAN_ERR_PROT, 0, 0, CAN_ERR_PROT_LOC_ACK_DEL, 0x8},
        {CAN_ERR_PROT, 0, CAN_ERR_PROT_BIT0, 0, 0x10},
        {CAN_ERR_PROT, 0, CAN_ERR_PROT_BIT1, 0, 0x20},
        {CAN_ERR_CRTL, CAN_ERR_CRTL_RX_OVERFLOW, 0, 0, 0x10000},
        {CAN_ERR_CRTL, CAN_ERR_CRTL_TX_OVERFLOW, 0, 0, 0x10000},
        // Without an equivalent: the kernel's class bit moved up by 6, beside what maps.
        {CAN_ERR_CRTL, CAN_ERR_CRTL_RX_OVERFLOW | CAN_ERR_CRTL_TX_WARNING, 0, 0, 0x10100},
        {CAN_ERR_PROT | CAN_ERR_BUSERROR, 0, CAN_ERR_PROT_OVERLOAD | CAN_ERR_PROT_STUFF, 0, 0x201},
        {CAN_ERR_PROT, 0, CAN_ERR_PROT_BIT, 0, 0x200},
        {CAN_ERR_BUSERROR, 0, 0, 0, 0x2000},
        {CAN_ERR_TX_TIMEOUT, 0, 0, 0, 0x40},
        {CAN_ERR_LOSTARB, 0, 0, 0, 0x80},
        {CAN_ERR_TRX, 0, 0, 0, 0x400},
        {CAN_ERR_BUSOFF, 0, 0, 0, 0x1000},
        {CAN_ERR_RESTARTED, 0, 0, 0, 0x4000},
        {CAN_ERR_CNT, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        can_frame frame{};
        frame.can_id = CAN_ERR_FLAG | c.classes;
        frame.can_dlc = CAN_ERR_DLC;
        frame.data[1] = c.crtl, frame.data[2] = c.type, frame.data[3] = c.location;
        frame.data[6] = 0x60, frame.data[7] = 0x80;
        __CANCARD_MSG msg{};
        CanIntfSocket::ToRecord(frame, msg);
        EXPECT_EQ(Format("%x %x %02x %02x %02x", msg.id, msg.flags, msg.data[0], msg.data[1],
                         msg.data[2]),
                  Format("%x 82 60 80 00", c.bits))
            << std::hex << c.classes;
    }
    EXPECT_EQ(CanIntfSocket::StampMicros({4294, 967297}), 1u);  // wraps as GetTime does
    EXPECT_EQ(CanIntfSocket::StampMicros({12, 345}), 12000345u);
}

TEST_F(CanIntfSocketTest, BitRateStateAndCardAsTheDialogsAskThem) {
    CanIntf port(cards, 0, false);
    EXPECT_EQ(port.getBaud(), 2);
    port.setBaud(2);  // the running rate: no right needed, nothing set
    EXPECT_EQ(ThrownError([&] { port.setBaud(3); }),
              "10 Unable to set the bit rate of can0 to 250000 bits/s (Operation not permitted). "
              "Set it as administrator: ip link set can0 down type can bitrate 250000 && ip link "
              "set can0 up");
    kernel.allowed = true;
    port.setBaud(3);
    EXPECT_EQ(port.getBaud(), 3);
    kernel.bitRate = 123456;
    EXPECT_EQ(port.getBaud(), -1);
    kernel.bitRate = 0;  // vcan: no rate, and setting one changes nothing
    port.setBaud(5);
    EXPECT_EQ(port.getBaud(), -1);
    EXPECT_EQ(kernel.log.back(), "set 250000");

    const CardInfo card = port.getCardInfo();
    EXPECT_EQ(card.cardType, kCardTypeSocketCan);
    EXPECT_EQ(card.serialNum, 7);
    EXPECT_GT(card.fwVersionRaw, 0x1FFu);
    EXPECT_EQ(card.fwVersion, card.drvVersion);
    kernel.counters = {97, 130};
    const char* const states[] = {"97|130", "97 (Warning)|130 (Warning)", "97 (Error)|130 (Error)",
                                  "97 (Bus Off)|130 (Bus Off)"};
    for (int s = CAN_STATE_ERROR_ACTIVE; s <= CAN_STATE_BUS_OFF; s++) {
        kernel.state = s;
        const PortInfo info = port.getPortInfo();
        EXPECT_EQ(info.txErrors + "|" + info.rxErrors, states[s]);
        EXPECT_EQ(info.status, "Port Closed");
    }
    port.open();
    port.SetLoading(12.5);  // the reader's own count: parameter 11 is never asked
    PortInfo info = port.getPortInfo();
    EXPECT_EQ(info.status + Format(" %.1f", info.loading), "Not synchronized to bus 12.5");
    kernel.state = CAN_STATE_ERROR_PASSIVE;
    info = port.getPortInfo();
    EXPECT_EQ(info.status, "Port Opened");
    EXPECT_EQ(info.isOpen, 1);

    // Firmware download and bus analysis have no equivalent.
    for (int opcode : {6, 7, 8, 9, 11, 12})
        EXPECT_EQ(ThrownError([&] { port.SendCMD(opcode); }),
                  "1 CAN driver reported a bad command code");
    EXPECT_EQ(ThrownError([&] { port.GetParam(11); }), "1 CAN driver reported a bad parameter");

    const std::vector<SurveyedPort> ports = SurveyPorts(cards, false);
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(CardTypeText(ports[0]), "SocketCAN can0");
    EXPECT_EQ(ThrownError([&] { CanIntfSocket(cards).Open(1); }), "5 Unknown CAN port number: 1");
}
