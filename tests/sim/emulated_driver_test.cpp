#include "sim/emulated_driver.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/can_bits.h"
#include "hw/firmware_file.h"
#include "io/log_parser.h"
#include "sim/emulation_test_support.h"
#include "support/test_support.h"

namespace {

std::string Port(const std::string& keys) {
    return Block("Port", keys);
}

// Two cards of the first family on a 500 kbit/s bus (port 2 set to 250 kbit/s), one card of
// the second family on a bus of its own.
const std::string kBench =
    "driver:0x00030102\n" + Block("Bus", "bitrate:500000\n") + Block("Bus", "bitrate:125000\n") +
    Block("Card",
          "type:16\nserial:1234\nparam1:11\nparam7:77\nparam8:88\nanalog2:100\n"
          "analog3:200\nanalog4:300\n" +
              Port("bus:0\n") +
              Port("bus:0\ntx_errors:17\nrx_errors:3\ntx_state:1\nrx_state:2\n")) +
    Block("Card", "family:tarvelcan\ntype:1\nboot:0x00010100\n" + Port("bus:1\nbus_off:1\n")) +
    Block("Card", "type:258\n" + Port("bus:0\nbitrate:250000\n"));

SimSourceFactories WithLogParser() {
    SimSourceFactories factories;
    factories.logLine = [](char* line, CANframe& frame) {
        return QuillonLogParser().Parse(line, frame);
    };
    return factories;
}

class EmulatedDriverTest : public ::testing::Test {
  protected:
    void SetUp() override { driver = DriverFrom(dir.path(), kBench); }
    DriverCalls& calls() { return *driver; }
    uint32_t Param(int fd, uint32_t number) { return Cmd(calls(), fd, 0x000A0001, {number}).w[1]; }

    TempDir dir;
    std::unique_ptr<EmulatedDriver> driver;
};

TEST_F(EmulatedDriverTest, NodesOfBothFamiliesAndDescriptors) {
    for (const char* node : {"/dev/ulcan00", "/dev/ulcan01", "/dev/ulcan02", "/dev/tarvelcan00"})
        EXPECT_EQ(calls().Access(node, F_OK), 0) << node;
    errno = 0;
    EXPECT_EQ(calls().Access("/dev/ulcan03", F_OK), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(calls().Access("/dev/tarvelcan01", F_OK), -1);
    EXPECT_EQ(calls().Open("/dev/ulcan03", O_RDWR), -1);
    EXPECT_EQ(driver->PortCount(), 4);

    const int fd = calls().Open("/dev/tarvelcan00", O_RDWR);
    EXPECT_GE(fd, 1 << 20);
    uint32_t cmd[kCmdWords] = {0x00040000};
    EXPECT_EQ(calls().Ioctl(fd, 0x1234, cmd), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(calls().Close(fd), 0);
    EXPECT_EQ(calls().Close(fd), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(calls().Ioctl(fd, kIoctlCommand, cmd), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST_F(EmulatedDriverTest, CardCommandsAnswerAsTheContractSays) {
    const int fd = calls().Open("/dev/ulcan01", O_RDWR);
    CmdReply r = Cmd(calls(), fd, 0x00050000);
    EXPECT_EQ(r.w[0], 3u);
    EXPECT_EQ(r.w[1], 16u);
    EXPECT_EQ(r.w[2], 0u);  // the boot version is a type 1 card's
    EXPECT_EQ(r.w[3], 0x00020105u);
    r = Cmd(calls(), fd, 0x00FE0000);
    EXPECT_EQ(r.w[0], 1u);
    EXPECT_EQ(r.w[1], 0x00030102u);
    const uint32_t params[][2] = {{0, 1234}, {1, 11}, {2, 100}, {3, 200},
                                  {4, 300},  {7, 77}, {8, 88}};
    for (const auto& p : params) EXPECT_EQ(Param(fd, p[0]), p[1]) << p[0];
    for (uint32_t bad : {6, 12, 13})  // type 16 keeps no update flag (12)
        EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {bad}).status, 2u) << bad;
    EXPECT_EQ(Cmd(calls(), fd, 0x00770000).status, 1u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00080001, {0x3C96A5E1}).status, 1u);  // type 1 only

    // Bit rate: the port follows its bus at 3 (500 kbit/s); 9 is refused.
    EXPECT_EQ(Cmd(calls(), fd, 0x00040000).w[1], 3u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00030001, {9}).status, 2u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00030001, {5}).status, 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00040000).w[1], 5u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00030001, {3}).status, 0u);

    // Status word: closed (bit 16), counters and states as declared.
    EXPECT_EQ(Param(fd, 5), 0x00240311u | 1u << 16);
    EXPECT_EQ(Cmd(calls(), fd, 0x00FC0001, {1}).status, 4u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00020000).status, 4u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00010000).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00010000).status, 3u);
    EXPECT_EQ(Param(fd, 5), 0x00240311u | 1u << 17);
    EXPECT_EQ(Param(fd, 11), 0u);  // nothing on the bus yet
    EXPECT_EQ(Cmd(calls(), fd, 0x000C0001, {0}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x000C0000).w[0], 0u);  // no result ready

    // A reset closes the port and brings its bit rate back.
    EXPECT_EQ(Cmd(calls(), fd, 0x00030001, {1}).status, 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00FF0000).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00040000).w[1], 3u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00020000).status, 4u);
}

TEST_F(EmulatedDriverTest, FlashImageChecksummedAndTypeOneLocked) {
    const uint32_t words[] = {0x11223344, 0x55667788, 0xDEADBEEF};
    // The card unpacks each word with its bits 31-24 first, as the image's bytes lay.
    const std::vector<uint8_t> bytes = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                                        0x77, 0x88, 0xDE, 0xAD, 0xBE, 0xEF};
    const auto crc = static_cast<uint32_t>(crc32(0, bytes.data(), 12));
    const int fd = calls().Open("/dev/ulcan02", O_RDWR);  // type 258: keeps the update flag
    EXPECT_EQ(Param(fd, 12), 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00070001, {words[0]}).status, 2u);  // no image erased yet
    EXPECT_EQ(Cmd(calls(), fd, 0x00060001, {1}).status, 2u);         // not an image identifier
    EXPECT_EQ(Cmd(calls(), fd, 0x00060001, {kMainImageId}).w[0], 0u);
    EXPECT_EQ(Param(fd, 12), 1u);  // an update under way
    EXPECT_EQ(Cmd(calls(), fd, 0x00070002, {words[0], words[1]}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00070001, {words[2]}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00070040).status, 2u);
    CmdReply r = Cmd(calls(), fd, 0x00072001, {crc});
    EXPECT_EQ(r.w[0], 1u);
    EXPECT_EQ(r.w[1], crc);
    EXPECT_EQ(Param(fd, 12), 0u);
    EXPECT_EQ(driver->Flash(2, kMainImageId), bytes);
    EXPECT_TRUE(driver->Flash(2, kFpgaImageId).empty());

    const int one = calls().Open("/dev/tarvelcan00", O_RDWR);
    r = Cmd(calls(), one, 0x00050000);
    EXPECT_EQ(r.w[1], 1u);
    EXPECT_EQ(r.w[2], 0x00010100u);
    EXPECT_EQ(Cmd(calls(), one, 0x000A0001, {11}).status, 2u);            // below type 16
    EXPECT_EQ(Cmd(calls(), one, 0x00060001, {kBootImageId}).status, 2u);  // locked
    EXPECT_EQ(Cmd(calls(), one, 0x00080001, {0x12345678}).status, 2u);
    EXPECT_EQ(Cmd(calls(), one, 0x00080001, {0x3C96A5E1}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), one, 0x00060001, {kBootImageId}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), one, 0x00010000).w[0], 0u);
    // Bus analysis on a type 1 card: the progress settles, no samples.
    EXPECT_EQ(Cmd(calls(), one, 0x000C0001, {2}).w[1], Cmd(calls(), one, 0x000C0001, {2}).w[1]);
    EXPECT_EQ(Cmd(calls(), one, 0x000C0001, {(4u << 16) | 3}).w[0], 0u);
    EXPECT_EQ(Param(one, 5), 0x3Eu << 16);  // open, synchronised, bus-off both ways
}

TEST_F(EmulatedDriverTest, ClosedPortBadRecordsAndTimeOut) {
    const int fd = calls().Open("/dev/ulcan00", O_RDWR);
    __CANCARD_MSG msg = Record(0x123, 1, {1}, 50);
    EXPECT_EQ(calls().Ioctl(fd, kIoctlSendMsg, &msg), 4);
    EXPECT_EQ(calls().Ioctl(fd, kIoctlRecvMsg, &msg), 4);
    EXPECT_EQ(Cmd(calls(), fd, 0x00010000).w[0], 0u);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(calls().Ioctl(fd, kIoctlRecvMsg, &msg), 7);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    msg = Record(0x800, 1, {1});  // an 11-bit identifier cannot be 0x800
    EXPECT_EQ(calls().Ioctl(fd, kIoctlSendMsg, &msg), 2);
    msg = Record(0x12, kMsgError, {});
    EXPECT_EQ(calls().Ioctl(fd, kIoctlSendMsg, &msg), 2);
}

TEST_F(EmulatedDriverTest, PortsOfOneBusSeeEachOthersFramesAtTheirRate) {
    const int a = OpenPort(calls(), "/dev/ulcan00");
    const int b = OpenPort(calls(), "/dev/ulcan01");
    const int slow = OpenPort(calls(), "/dev/ulcan02");  // at 250 kbit/s on a 500 kbit/s bus
    EXPECT_EQ(Param(slow, 5) & (3u << 16), 0u);

    __CANCARD_MSG sent[] = {Record(0x181, 3, {0xA1, 0xB2, 0xC3}),
                            Record(0x1ABCDEF, 8 | kMsgExtended, {1, 2, 3, 4, 5, 6, 7, 8}),
                            Record(0x701, 2 | kMsgRemote, {})};
    for (auto& msg : sent) EXPECT_EQ(calls().Ioctl(a, kIoctlSendMsg, &msg), 0);
    uint32_t last = 0;
    for (int i = 0; i < 3; i++) {
        int rc;
        const __CANCARD_MSG got = Receive(calls(), b, 5000, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(got.timeout, 5000u);
        EXPECT_EQ(got.id, i == 1 ? 0x1ABCDEF | 1u << 29 : sent[i].id);
        EXPECT_EQ(got.flags, sent[i].flags);
        const __CANCARD_MSG expect = Record(0, 0, {}, 0);
        const size_t n = (sent[i].flags & kMsgRemote) ? 0 : sent[i].flags & kMsgLengthMask;
        EXPECT_EQ(std::memcmp(got.data, sent[i].data, n), 0);
        EXPECT_EQ(std::memcmp(got.data + n, expect.data, 8 - n), 0);
        // A frame ends at least its length in bit times (2 µs) after the one before it.
        EXPECT_TRUE(i == 0 ||
                    static_cast<int32_t>(got.timestamp - last) >= 2 * FrameBusBits(FrameOf(got)));
        last = got.timestamp;
    }
    // The frames reached every port together: the sender and the slow port have none.
    int rc;
    Receive(calls(), a, 0, &rc);
    EXPECT_EQ(rc, 7);
    Receive(calls(), slow, 0, &rc);
    EXPECT_EQ(rc, 7);
    EXPECT_EQ(driver->Counters(0).sent, 3u);
    EXPECT_EQ(driver->Counters(1).received, 3u);
    EXPECT_EQ(driver->Counters(2).received, 0u);

    // At the bus's rate the slow port is synchronised and hears the next frame.
    EXPECT_EQ(Cmd(calls(), slow, 0x00030001, {3}).w[0], 0u);
    EXPECT_NE(Param(slow, 5) & (1u << 17), 0u);
    __CANCARD_MSG msg = Record(0x222, 1, {9});
    EXPECT_EQ(calls().Ioctl(a, kIoctlSendMsg, &msg), 0);
    EXPECT_EQ(Receive(calls(), slow, 5000, &rc).id, 0x222u);
    EXPECT_EQ(rc, 0);
}

TEST(EmulatedDriver, FullQueueCountsOverruns) {
    TempDir dir;
    auto driver =
        DriverFrom(dir.path(),
                   Block("Bus", "bitrate:1000000\n") +
                       Block("Card", Port("bus:0\n") + Port("bus:0\nqueue:4\n") + Port("bus:0\n")));
    const int sender = OpenPort(*driver, "/dev/ulcan00");
    const int small = OpenPort(*driver, "/dev/ulcan01");
    const int big = OpenPort(*driver, "/dev/ulcan02");
    for (uint8_t i = 0; i < 20; i++) {
        __CANCARD_MSG msg = Record(0x300, 1, {i});
        ASSERT_EQ(driver->Ioctl(sender, kIoctlSendMsg, &msg), 0);
    }
    // The last frame reached the big queue: it was offered to the small one at the same time.
    int rc;
    for (uint8_t i = 0; i < 20; i++) EXPECT_EQ(Receive(*driver, big, 5000, &rc).data[0], i);
    EXPECT_EQ(driver->Counters(1).received, 4u);
    EXPECT_EQ(driver->Counters(1).overruns, 16u);
    EXPECT_EQ(driver->Counters(2).overruns, 0u);
    for (uint8_t i = 0; i < 4; i++) EXPECT_EQ(Receive(*driver, small, 0, &rc).data[0], i);
    EXPECT_EQ(rc, 0);
}

TEST(EmulatedDriver, FloodArrivesCompleteInOrderBackToBack) {
    TempDir dir;
    auto driver = DriverFrom(
        dir.path(),
        Block("Bus", "bitrate:1000000\n") +
            Block("Bus", "bitrate:1000000\n" + Block("Flood", "count:3000\nid:0x101\n")) +
            Block("Card", Port("bus:1\n")));
    const int fd = OpenPort(*driver, "/dev/ulcan00");
    uint32_t last = 0;
    for (uint32_t seq = 0; seq < 3000; seq++) {
        int rc;
        const __CANCARD_MSG got = Receive(*driver, fd, 5000, &rc);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(got.id, 0x101u);
        ASSERT_EQ(got.flags, 8u);
        const uint8_t expect[8] = {uint8_t(seq), uint8_t(seq >> 8), uint8_t(seq >> 16), 0, 1};
        ASSERT_EQ(std::memcmp(got.data, expect, 8), 0) << seq;
        // Back to back at 1 Mbit/s: each frame ends its length in microseconds after the last.
        ASSERT_TRUE(seq == 0 || got.timestamp - last == uint32_t(FrameBusBits(FrameOf(got))));
        last = got.timestamp;
    }
    int rc;
    Receive(*driver, fd, 0, &rc);
    EXPECT_EQ(rc, 7);
    EXPECT_EQ(driver->Counters(0).received, 3000u);
    EXPECT_EQ(driver->Counters(0).overruns, 0u);
}

// Replayed logs: each frame starts at its log time on an idle bus; frames waiting together go
// out by arbitration, the lowest identifier (data before remote, 11 before 29 bits) first.
TEST(EmulatedDriver, LogReplayTimingAndArbitration) {
    TempDir dir;
    WriteFile(dir.file("a.log"),
              "# a comment\n 1000 CAN0: 0x181 - 0x01 0x02\n 1500 CAN1: 0x182\n"
              " 3000 RTR0: 0x20000123\n 9000 CAN0: 0x701 - 0x05\n");
    WriteFile(dir.file("b.log"), "0 RTR0: 0x300\n");
    WriteFile(dir.file("c.log"), "0 CAN0: 0x2C000000 - 0x01\n");
    WriteFile(dir.file("d.log"), "0 CAN0: 0x300 - 0x02\n0 CAN0: 0x100 -\n");
    std::string replays;
    for (const char* log : {"b.log", "c.log", "d.log"})
        replays += Block("LogReplay", std::string("file:") + log + "\n");
    auto driver =
        DriverFrom(dir.path(),
                   Block("Bus", "bitrate:250000\n" + Block("LogReplay", "file:a.log\nport:0\n")) +
                       Block("Bus", "bitrate:1000000\n" + replays) +
                       Block("Card", Port("bus:0\n") + Port("bus:1\n")),
                   WithLogParser());
    const int fd = OpenPort(*driver, "/dev/ulcan00");
    const int arb = OpenPort(*driver, "/dev/ulcan01");
    const uint32_t ids[] = {0x181, 0x123 | 1u << 29,     0x701, 0x300, 0x100,
                            0x300, 0x0C000000 | 1u << 29};
    const uint32_t flags[] = {2, kMsgRemote | kMsgExtended, 1, 1, 0, kMsgRemote, 1 | kMsgExtended};
    const uint32_t logTimes[] = {1000, 3000, 9000};
    __CANCARD_MSG got[7];
    for (int i = 0; i < 7; i++) {
        int rc;
        got[i] = Receive(*driver, i < 3 ? fd : arb, 5000, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(got[i].id, ids[i]) << i;
        EXPECT_EQ(got[i].flags, flags[i]) << i;
    }
    // 4 µs a bit at 250 kbit/s; the waiting frames back to back at 1 µs a bit.
    const int first = FrameBusBits(FrameOf(got[0]));
    for (int i = 1; i < 3; i++) {
        EXPECT_EQ(got[i].timestamp - got[0].timestamp,
                  logTimes[i] - logTimes[0] + 4u * (FrameBusBits(FrameOf(got[i])) - first));
    }
    for (int i = 4; i < 7; i++) {
        EXPECT_EQ(got[i].timestamp - got[i - 1].timestamp,
                  static_cast<uint32_t>(FrameBusBits(FrameOf(got[i]))));
    }
}

TEST(EmulatedDriver, BusyAnswersAndVanishingNode) {
    TempDir dir;
    auto driver = DriverFrom(
        dir.path(), Block("Bus", "bitrate:500000\n") +
                        Block("Card", "type:259\nbusy_every:3\nvanish_ms:100\n" + Port("bus:0\n")));
    const int fd = driver->Open("/dev/ulcan00", O_RDWR);
    for (uint32_t status : {0, 0, 5, 0, 0}) EXPECT_EQ(Cmd(*driver, fd, 0x00040000).status, status);
    const auto reset = std::chrono::steady_clock::now();
    EXPECT_EQ(Cmd(*driver, fd, 0x00FF0000).w[0], 5u << 16);  // busy: not done
    EXPECT_EQ(Cmd(*driver, fd, 0x00FF0000).w[0], 0u);
    errno = 0;
    uint32_t cmd[kCmdWords] = {0x00040000};
    EXPECT_EQ(driver->Ioctl(fd, kIoctlCommand, cmd), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(driver->Access("/dev/ulcan00", F_OK), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(driver->Open("/dev/ulcan00", O_RDWR), -1);
    // The node comes back, not before its time.
    ASSERT_TRUE(WaitUntil([&] { return driver->Access("/dev/ulcan00", F_OK) == 0; }))
        << "the node did not come back";
    EXPECT_GE(std::chrono::steady_clock::now() - reset, std::chrono::milliseconds(100));
    EXPECT_EQ(driver->Ioctl(fd, kIoctlCommand, cmd), 0);
}

TEST(EmulatedDriver, ExampleDescriptionRuns) {
    auto driver = EmulatedDriver::Create(EXAMPLES_DIR "/emulation.cfg", WithLogParser());
    ASSERT_EQ(driver->PortCount(), 4);
    int rc;
    EXPECT_EQ(Receive(*driver, OpenPort(*driver, "/dev/ulcan00"), 5000, &rc).id, 0u);  // NMT
    EXPECT_EQ(rc, 0);
    const int gone = driver->Open("/dev/tarvelcan00", O_RDWR);
    EXPECT_EQ(Cmd(*driver, gone, 0x000A0001, {12}).w[1], 1u);
    EXPECT_EQ(Cmd(*driver, gone, 0x000A0001, {5}).w[1] >> 16, 0x3Du);  // closed, bus-off
}

std::string CreateError(const std::string& body, const SimSourceFactories& factories = {}) {
    TempDir dir;
    try {
        DriverFrom(dir.path(), body, factories);
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.code, 12);
        const std::string prefix = dir.file("emu.cfg") + ":";
        EXPECT_EQ(e.message.compare(0, prefix.size(), prefix), 0) << e.message;
        return e.message.substr(prefix.size());
    }
    return "no error";
}

TEST(EmulatedDriver, DescriptionErrorsNameLineAndProblem) {
    const std::string card = Block("Card", Port("bus:0\n"));
    const std::string bus = Block("Bus", "bitrate:500000\n");
    EXPECT_EQ(CreateError(Block("Bus", "Bitrate:500000\n") + card),
              "3: unknown key Bitrate in [Bus]");
    EXPECT_EQ(CreateError(Block("Bus", "bitrate:400000\n") + card),
              "3: bitrate 400000 is not a CAN card's bit rate (1000000, 800000, 500000, 250000, "
              "125000, 100000, 50000 or 20000)");
    EXPECT_EQ(CreateError(Block("Bus", "bitrate:fast\n") + card),
              "3: bitrate is not a number: fast");
    EXPECT_EQ(CreateError(bus + Block("Card", "type:16\ntype:17\n")), "7: key type given twice");
    EXPECT_EQ(CreateError(bus + Block("Card", Port("bus:1\n"))), "7: bus must be 0 to 0");
    EXPECT_EQ(CreateError("\n" + Block("Bus", "bitrate 500000\n")),
              "4: not a key:value line, a [Block] or an [END] of an open block");
    EXPECT_EQ(CreateError(bus + Block("Card", "type:16\nvanish_ms:10\n" + Port("bus:0\n"))),
              "7: vanish_ms needs a card of type 259 or 260");
    EXPECT_EQ(CreateError(Block("Bus", "bitrate:500000\n" + Block("CANopen", "Nodes:3\n")) + card),
              "4: Unknown key in [CANopen]: Nodes");
    EXPECT_EQ(
        CreateError(Block("Bus", "bitrate:500000\n" + Block("LogReplay", "file:a.log\n")) + card),
        "4: log replay is not available in this program");
    const std::string missing =
        CreateError(Block("Bus", "bitrate:500000\n" + Block("LogReplay", "file:none.log\n")) + card,
                    WithLogParser());
    EXPECT_EQ(missing.rfind("4: cannot read log file /", 0), 0u) << missing;  // in the folder
    EXPECT_EQ(missing.substr(missing.size() - 9), "/none.log");
    try {
        EmulatedDriver::Create("/nonexistent/emu.cfg");
        ADD_FAILURE();
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.message, "/nonexistent/emu.cfg: cannot read the emulation description");
    }
}

TEST(EmulatedDriver, BuiltInSetUps) {
    auto demo = EmulatedDriver::Create("demo");
    ASSERT_EQ(demo->PortCount(), 4);
    const int p0 = OpenPort(*demo, "/dev/ulcan00");
    const int p1 = OpenPort(*demo, "/dev/ulcan01");
    const int p2 = OpenPort(*demo, "/dev/ulcan02");
    EXPECT_GE(Cmd(*demo, p0, 0x00050000).w[1], 16u);
    EXPECT_EQ(Cmd(*demo, p2, 0x00050000).w[1], 1u);
    EXPECT_NE(Cmd(*demo, p0, 0x000A0001, {0}).w[1], Cmd(*demo, p2, 0x000A0001, {0}).w[1]);
    EXPECT_EQ(Cmd(*demo, p0, 0x00040000).w[1], 3u);
    EXPECT_EQ(Cmd(*demo, p1, 0x00040000).w[1], 5u);
    // Ports 0 and 2 hear the same machine, port 1 a network of its own.
    int rc;
    const __CANCARD_MSG first = Receive(*demo, p0, 5000, &rc);
    ASSERT_EQ(rc, 0);
    const __CANCARD_MSG same = Receive(*demo, p2, 5000, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::memcmp(&first, &same, sizeof first), 0);
    Receive(*demo, p1, 5000, &rc);
    EXPECT_EQ(rc, 0);

    auto flood = EmulatedDriver::Create("flood");
    ASSERT_EQ(flood->PortCount(), 8);
    EXPECT_EQ(flood->Access("/dev/ulcan07", F_OK), 0);
    const int fd = OpenPort(*flood, "/dev/ulcan05");
    EXPECT_EQ(Cmd(*flood, fd, 0x00040000).w[1], 1u);
    const __CANCARD_MSG got = Receive(*flood, fd, 5000, &rc);
    EXPECT_EQ(got.id, 0x105u);
    EXPECT_EQ(got.data[4], 5);
    EXPECT_EQ(Build32(got.data), 0u);
}

}  // namespace
