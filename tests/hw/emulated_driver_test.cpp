#include "hw/emulated_driver.h"

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
#include "hw/emulation_test_support.h"
#include "io/log_parser.h"
#include "support/test_support.h"

namespace {

// Two cards of the first family on one 500 kbit/s bus (port 2 set to 250 kbit/s), one card of
// the second family on a bus of its own.
const char kBench[] = R"([Emulation]
   driver:0x00030102
   [Bus]
      bitrate:500000
   [END]
   [Bus]
      bitrate:125000
   [END]
   [Card]
      type:16
      serial:1234
      firmware:0x00020105
      param1:11
      param7:77
      param8:88
      analog2:100
      analog3:200
      analog4:300
      [Port]
         bus:0
      [END]
      [Port]
         bus:0
         tx_errors:17
         rx_errors:3
         tx_state:1
         rx_state:2
      [END]
   [END]
   [Card]
      family:tarvelcan
      type:1
      boot:0x00010100
      [Port]
         bus:1
         bus_off:1
      [END]
   [END]
   [Card]
      type:258
      [Port]
         bus:0
         bitrate:250000
      [END]
   [END]
[END]
)";

class EmulatedDriverTest : public ::testing::Test {
  protected:
    void SetUp() override { driver = DriverFrom(dir.path(), kBench); }
    DriverCalls& calls() { return *driver; }

    TempDir dir;
    std::unique_ptr<EmulatedDriver> driver;
};

TEST_F(EmulatedDriverTest, NodesOfBothFamiliesAndDescriptors) {
    EXPECT_EQ(calls().Access("/dev/ulcan00", F_OK), 0);
    EXPECT_EQ(calls().Access("/dev/ulcan01", F_OK), 0);
    EXPECT_EQ(calls().Access("/dev/ulcan02", F_OK), 0);  // the third card's port
    EXPECT_EQ(calls().Access("/dev/tarvelcan00", F_OK), 0);
    errno = 0;
    EXPECT_EQ(calls().Access("/dev/ulcan03", F_OK), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(calls().Access("/dev/tarvelcan01", F_OK), -1);
    EXPECT_EQ(calls().Open("/dev/ulcan03", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(driver->PortCount(), 4);

    const int fd = calls().Open("/dev/tarvelcan00", O_RDWR);
    EXPECT_GE(fd, 1 << 20);
    uint32_t cmd[kCmdWords] = {0x00990000};
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
    for (const auto& p : params) {
        r = Cmd(calls(), fd, 0x000A0001, {p[0]});
        EXPECT_EQ(r.w[0], 1u) << p[0];
        EXPECT_EQ(r.w[1], p[1]) << p[0];
    }
    EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {6}).status, 2u);
    EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {12}).status, 2u);  // type 16 keeps no update flag
    EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {13}).status, 2u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00770000).status, 1u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00080001, {0x3C96A5E1}).status, 1u);  // type 1 only

    // Bit rate: the port follows its bus at 3 (500 kbit/s); 9 is refused.
    EXPECT_EQ(Cmd(calls(), fd, 0x00040000).w[1], 3u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00030001, {9}).status, 2u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00030001, {5}).status, 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00040000).w[1], 5u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00030001, {3}).status, 0u);

    // Status word: closed (bit 16), counters and states as declared.
    EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {5}).w[1], 0x00240311u | 1u << 16);
    EXPECT_EQ(Cmd(calls(), fd, 0x00FC0001, {1}).status, 4u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00020000).status, 4u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00010000).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00010000).status, 3u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00FC0001, {1}).status, 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {5}).w[1], 0x00240311u | 1u << 17);
    EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {11}).w[1], 0u);  // nothing on the bus yet
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
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(words), sizeof words));

    const int fd = calls().Open("/dev/ulcan02", O_RDWR);  // type 258: keeps the update flag
    EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {12}).w[1], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00060001, {1}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {12}).w[1], 1u);  // an update under way
    EXPECT_EQ(Cmd(calls(), fd, 0x00070002, {words[0], words[1]}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00070001, {words[2]}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), fd, 0x00070040).status, 2u);
    CmdReply r = Cmd(calls(), fd, 0x00072001, {crc});
    EXPECT_EQ(r.w[0], 1u);
    EXPECT_EQ(r.w[1], crc);
    EXPECT_EQ(Cmd(calls(), fd, 0x000A0001, {12}).w[1], 0u);

    const int one = calls().Open("/dev/tarvelcan00", O_RDWR);
    r = Cmd(calls(), one, 0x00050000);
    EXPECT_EQ(r.w[1], 1u);
    EXPECT_EQ(r.w[2], 0x00010100u);
    EXPECT_EQ(Cmd(calls(), one, 0x000A0001, {11}).status, 2u);  // below type 16
    EXPECT_EQ(Cmd(calls(), one, 0x00060001, {1}).status, 2u);
    EXPECT_EQ(Cmd(calls(), one, 0x00080001, {0x12345678}).status, 2u);
    EXPECT_EQ(Cmd(calls(), one, 0x00080001, {0x3C96A5E1}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), one, 0x00060001, {1}).w[0], 0u);
    EXPECT_EQ(Cmd(calls(), one, 0x00010000).w[0], 0u);
    // Bus analysis on a type 1 card: the progress settles, no samples.
    EXPECT_EQ(Cmd(calls(), one, 0x000C0001, {2}).w[1], Cmd(calls(), one, 0x000C0001, {2}).w[1]);
    EXPECT_EQ(Cmd(calls(), one, 0x000C0001, {(4u << 16) | 3}).w[0], 0u);
    // Open, synchronised, bus-off in both directions.
    EXPECT_EQ(Cmd(calls(), one, 0x000A0001, {5}).w[1], 0x3Eu << 16);
}

TEST_F(EmulatedDriverTest, ClosedPortAndTimeOut) {
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
    EXPECT_EQ(Cmd(calls(), slow, 0x000A0001, {5}).w[1] & (3u << 16), 0u);

    __CANCARD_MSG sent[] = {Record(0x181, 3, {0xA1, 0xB2, 0xC3}),
                            Record(0x1ABCDEF, 8 | kMsgExtended, {1, 2, 3, 4, 5, 6, 7, 8}),
                            Record(0x701, 2 | kMsgRemote, {})};
    for (auto& msg : sent) EXPECT_EQ(calls().Ioctl(a, kIoctlSendMsg, &msg), 0);
    CANframe frames[3];
    uint32_t stamps[3];
    for (int i = 0; i < 3; i++) {
        __CANCARD_MSG got = Record(0, 0, {}, 5000);
        ASSERT_EQ(calls().Ioctl(b, kIoctlRecvMsg, &got), 0);
        EXPECT_EQ(got.timeout, 5000u);
        EXPECT_EQ(got.id, i == 1 ? 0x1ABCDEF | 1u << 29 : sent[i].id);
        EXPECT_EQ(got.flags, sent[i].flags);
        const size_t n = (sent[i].flags & kMsgRemote) ? 0 : sent[i].flags & kMsgLengthMask;
        EXPECT_EQ(std::memcmp(got.data, sent[i].data, n), 0);
        for (size_t k = n; k < 8; k++) EXPECT_EQ(got.data[k], 0);
        frames[i].type = (sent[i].flags & kMsgRemote) ? FRAME_RTR : FRAME_DATA;
        frames[i].extended = (sent[i].flags & kMsgExtended) != 0;
        frames[i].id = sent[i].id;
        frames[i].length = static_cast<int16_t>(sent[i].flags & kMsgLengthMask);
        std::memcpy(frames[i].data, sent[i].data, 8);
        stamps[i] = got.timestamp;
    }
    // Each frame ends at least its own length in bit times (2 µs at 500 kbit/s) after the one
    // before it.
    for (int i = 1; i < 3; i++)
        EXPECT_GE(static_cast<int32_t>(stamps[i] - stamps[i - 1]), 2 * FrameBusBits(frames[i]));

    // The frames reached every port together: the sender and the slow port have none.
    __CANCARD_MSG none = Record(0, 0, {}, 0);
    EXPECT_EQ(calls().Ioctl(a, kIoctlRecvMsg, &none), 7);
    EXPECT_EQ(calls().Ioctl(slow, kIoctlRecvMsg, &none), 7);
    EXPECT_EQ(driver->Counters(0).sent, 3u);
    EXPECT_EQ(driver->Counters(1).received, 3u);
    EXPECT_EQ(driver->Counters(2).received, 0u);

    // At the bus's rate the slow port is synchronised and hears the next frame.
    EXPECT_EQ(Cmd(calls(), slow, 0x00030001, {3}).w[0], 0u);
    EXPECT_NE(Cmd(calls(), slow, 0x000A0001, {5}).w[1] & (1u << 17), 0u);
    __CANCARD_MSG msg = Record(0x222, 1, {9});
    EXPECT_EQ(calls().Ioctl(a, kIoctlSendMsg, &msg), 0);
    __CANCARD_MSG got = Record(0, 0, {}, 5000);
    ASSERT_EQ(calls().Ioctl(slow, kIoctlRecvMsg, &got), 0);
    EXPECT_EQ(got.id, 0x222u);
}

TEST(EmulatedDriver, FullQueueCountsOverruns) {
    TempDir dir;
    auto driver = DriverFrom(dir.path(), R"([Emulation]
   [Bus]
      bitrate:1000000
   [END]
   [Card]
      [Port]
         bus:0
      [END]
      [Port]
         bus:0
         queue:4
      [END]
      [Port]
         bus:0
      [END]
   [END]
[END]
)");
    const int sender = OpenPort(*driver, "/dev/ulcan00");
    const int small = OpenPort(*driver, "/dev/ulcan01");
    const int big = OpenPort(*driver, "/dev/ulcan02");
    for (uint8_t i = 0; i < 20; i++) {
        __CANCARD_MSG msg = Record(0x300, 1, {i});
        ASSERT_EQ(driver->Ioctl(sender, kIoctlSendMsg, &msg), 0);
    }
    // The last frame reached the big queue: it was offered to the small one at the same time.
    for (uint8_t i = 0; i < 20; i++) {
        __CANCARD_MSG got = Record(0, 0, {}, 5000);
        ASSERT_EQ(driver->Ioctl(big, kIoctlRecvMsg, &got), 0);
        EXPECT_EQ(got.data[0], i);
    }
    EXPECT_EQ(driver->Counters(1).received, 4u);
    EXPECT_EQ(driver->Counters(1).overruns, 16u);
    EXPECT_EQ(driver->Counters(2).overruns, 0u);
    for (uint8_t i = 0; i < 4; i++) {
        __CANCARD_MSG got = Record(0, 0, {}, 0);
        ASSERT_EQ(driver->Ioctl(small, kIoctlRecvMsg, &got), 0);
        EXPECT_EQ(got.data[0], i);
    }
}

TEST(EmulatedDriver, FloodArrivesCompleteInOrderBackToBack) {
    TempDir dir;
    auto driver = DriverFrom(dir.path(), R"([Emulation]
   [Bus]
      bitrate:1000000
   [END]
   [Bus]
      bitrate:1000000
      [Flood]
         count:3000
         id:0x101
      [END]
   [END]
   [Card]
      [Port]
         bus:1
      [END]
   [END]
[END]
)");
    const int fd = OpenPort(*driver, "/dev/ulcan00");
    uint32_t last = 0;
    for (uint32_t seq = 0; seq < 3000; seq++) {
        __CANCARD_MSG got = Record(0, 0, {}, 5000);
        ASSERT_EQ(driver->Ioctl(fd, kIoctlRecvMsg, &got), 0);
        ASSERT_EQ(got.id, 0x101u);
        ASSERT_EQ(got.flags, 8u);
        const uint8_t expect[8] = {uint8_t(seq), uint8_t(seq >> 8), uint8_t(seq >> 16), 0, 1};
        ASSERT_EQ(std::memcmp(got.data, expect, 8), 0) << seq;
        CANframe frame;
        frame.id = got.id;
        frame.length = 8;
        std::memcpy(frame.data, got.data, 8);
        // Back to back at 1 Mbit/s: each frame ends its length in microseconds after the last.
        if (seq > 0) {
            ASSERT_EQ(got.timestamp - last, static_cast<uint32_t>(FrameBusBits(frame)));
        }
        last = got.timestamp;
    }
    __CANCARD_MSG none = Record(0, 0, {}, 0);
    EXPECT_EQ(driver->Ioctl(fd, kIoctlRecvMsg, &none), 7);
    EXPECT_EQ(driver->Counters(0).received, 3000u);
    EXPECT_EQ(driver->Counters(0).overruns, 0u);
}

TEST(EmulatedDriver, LogReplayKeepsTheLogsTiming) {
    TempDir dir;
    WriteFile(dir.file("bus.log"),
              "# a comment\n"
              "      1000 CAN0: 0x00000181 - 0x01 0x02\n"
              "      1500 CAN1: 0x00000182 - 0x07\n"
              "      3000 RTR0: 0x20000123\n"
              "      9000 CAN0: 0x00000701 - 0x05\n");
    SimSourceFactories factories;
    LogParserVexa parser;
    factories.logLine = [&](char* line, CANframe& frame) { return parser.Parse(line, frame); };
    auto driver = DriverFrom(dir.path(), R"([Emulation]
   [Bus]
      bitrate:250000
      [LogReplay]
         file:bus.log
         port:0
      [END]
   [END]
   [Card]
      [Port]
         bus:0
      [END]
   [END]
[END]
)",
                             factories);
    const int fd = OpenPort(*driver, "/dev/ulcan00");
    const uint32_t ids[] = {0x181, 0x123 | 1u << 29, 0x701};
    const uint32_t flags[] = {2, kMsgRemote | kMsgExtended, 1};
    const uint32_t logTimes[] = {1000, 3000, 9000};
    uint32_t ends[3];
    int bits[3];
    for (int i = 0; i < 3; i++) {
        __CANCARD_MSG got = Record(0, 0, {}, 5000);
        ASSERT_EQ(driver->Ioctl(fd, kIoctlRecvMsg, &got), 0);
        EXPECT_EQ(got.id, ids[i]);
        EXPECT_EQ(got.flags, flags[i]);
        CANframe frame;
        frame.type = (flags[i] & kMsgRemote) ? FRAME_RTR : FRAME_DATA;
        frame.extended = (flags[i] & kMsgExtended) != 0;
        frame.id = ids[i] & 0x1FFFFFFF;
        frame.length = static_cast<int16_t>(flags[i] & kMsgLengthMask);
        std::memcpy(frame.data, got.data, 8);
        bits[i] = FrameBusBits(frame);
        ends[i] = got.timestamp;
    }
    // Each frame starts at its log time on an idle bus and takes 4 µs a bit at 250 kbit/s.
    for (int i = 1; i < 3; i++)
        EXPECT_EQ(ends[i] - ends[0], logTimes[i] - logTimes[0] + 4u * (bits[i] - bits[0]));
}

TEST(EmulatedDriver, BusyAnswersAndVanishingNode) {
    TempDir dir;
    auto driver = DriverFrom(dir.path(), R"([Emulation]
   [Bus]
      bitrate:500000
   [END]
   [Card]
      type:259
      busy_every:3
      vanish_ms:100
      [Port]
         bus:0
      [END]
   [END]
[END]
)");
    const int fd = driver->Open("/dev/ulcan00", O_RDWR);
    EXPECT_EQ(Cmd(*driver, fd, 0x00040000).status, 0u);
    EXPECT_EQ(Cmd(*driver, fd, 0x00040000).status, 0u);
    EXPECT_EQ(Cmd(*driver, fd, 0x00040000).status, 5u);
    EXPECT_EQ(Cmd(*driver, fd, 0x00040000).status, 0u);
    EXPECT_EQ(Cmd(*driver, fd, 0x00040000).status, 0u);
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
    while (driver->Access("/dev/ulcan00", F_OK) != 0) usleep(5000);
    EXPECT_GE(std::chrono::steady_clock::now() - reset, std::chrono::milliseconds(100));
    EXPECT_EQ(driver->Ioctl(fd, kIoctlCommand, cmd), 0);
}

TEST(EmulatedDriver, ExampleDescriptionRuns) {
    SimSourceFactories factories;
    LogParserVexa parser;
    factories.logLine = [&](char* line, CANframe& frame) { return parser.Parse(line, frame); };
    auto driver = EmulatedDriver::Create(EXAMPLES_DIR "/emulation.cfg", factories);
    ASSERT_EQ(driver->PortCount(), 4);
    const int fd = OpenPort(*driver, "/dev/ulcan00");
    __CANCARD_MSG got = Record(0, 0, {}, 5000);
    ASSERT_EQ(driver->Ioctl(fd, kIoctlRecvMsg, &got), 0);
    EXPECT_EQ(got.id, 0u);  // the demo log's first frame: NMT start all
    const int gone = driver->Open("/dev/tarvelcan00", O_RDWR);
    EXPECT_EQ(Cmd(*driver, gone, 0x000A0001, {12}).w[1], 1u);
    EXPECT_EQ(Cmd(*driver, gone, 0x000A0001, {5}).w[1] >> 16, 0x3Du);  // closed, bus-off
}

std::string CreateError(const std::string& text, const SimSourceFactories& factories = {}) {
    TempDir dir;
    try {
        DriverFrom(dir.path(), text, factories);
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.code, 12);
        const std::string prefix = dir.file("emu.cfg") + ":";
        EXPECT_EQ(e.message.compare(0, prefix.size(), prefix), 0) << e.message;
        return e.message.substr(prefix.size());
    }
    return "no error";
}

TEST(EmulatedDriver, DescriptionErrorsNameLineAndProblem) {
    const std::string card = "   [Card]\n      [Port]\n         bus:0\n      [END]\n   [END]\n";
    EXPECT_EQ(
        CreateError("[Emulation]\n   [Bus]\n      Bitrate:500000\n   [END]\n" + card + "[END]\n"),
        "3: unknown key Bitrate in [Bus]");
    EXPECT_EQ(
        CreateError("[Emulation]\n   [Bus]\n      bitrate:400000\n   [END]\n" + card + "[END]\n"),
        "3: bitrate 400000 is not a CAN card's bit rate (1000000, 800000, 500000, 250000, "
        "125000, 100000, 50000 or 20000)");
    EXPECT_EQ(CreateError("[Emulation]\n   [Bus]\n      bitrate:500000\n   [END]\n   [Card]\n"
                          "      type:16\n      type:17\n   [END]\n[END]\n"),
              "7: key type given twice");
    EXPECT_EQ(CreateError("[Emulation]\n   [Bus]\n      bitrate:500000\n   [END]\n   [Card]\n"
                          "      [Port]\n         bus:1\n      [END]\n   [END]\n[END]\n"),
              "7: bus must be 0 to 0");
    EXPECT_EQ(
        CreateError("[Emulation]\n   [Bus]\n      bitrate:fast\n   [END]\n" + card + "[END]\n"),
        "3: bitrate is not a number: fast");
    EXPECT_EQ(CreateError("[Emulation]\n\n   [Bus]\n      bitrate 500000\n"),
              "4: not a key:value line, a [Block] or an [END] of an open block");
    EXPECT_EQ(CreateError("[Emulation]\n   [Bus]\n      bitrate:500000\n   [END]\n   [Card]\n"
                          "      type:16\n      vanish_ms:10\n" +
                          card.substr(10) + "[END]\n"),
              "7: vanish_ms needs a card of type 259 or 260");
    EXPECT_EQ(CreateError("[Emulation]\n   [Bus]\n      bitrate:500000\n      [Canopen]\n"
                          "         nodes:3\n      [END]\n   [END]\n" +
                          card + "[END]\n"),
              "4: the simulated CANopen machine is not available in this program");
    EXPECT_EQ(CreateError("[Emulation]\n   [Bus]\n      bitrate:500000\n      [LogReplay]\n"
                          "         file:none.log\n      [END]\n   [END]\n" +
                          card + "[END]\n"),
              "4: log replay is not available in this program");
    try {
        EmulatedDriver::Create("/nonexistent/emu.cfg");
        ADD_FAILURE();
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.message, "/nonexistent/emu.cfg: cannot read the emulation description");
    }
}

// A source that only records where it was declared.
class QuietSource : public SimSource {
  public:
    void Start(uint32_t) override {}
    uint32_t Poll(uint32_t now, std::vector<CANframe>&) override { return now + 1000000; }
    void Seen(const CANframe&, uint32_t) override {}
};

TEST(EmulatedDriver, BuiltInSetUps) {
    std::vector<SimBusInfo> machines;
    SimSourceFactories factories;
    factories.canopen = [&](const CfgElement& block, const SimBusInfo& bus) {
        EXPECT_EQ(block.name, "Canopen");
        machines.push_back(bus);
        return std::make_unique<QuietSource>();
    };
    auto demo = EmulatedDriver::Create("demo", factories);
    ASSERT_EQ(machines.size(), 2u);
    EXPECT_EQ(machines[0].bitsPerSecond, 500000u);
    EXPECT_GT(machines[0].bitsPerSecond, machines[1].bitsPerSecond);
    ASSERT_EQ(demo->PortCount(), 4);
    const int p0 = OpenPort(*demo, "/dev/ulcan00");
    const int p1 = OpenPort(*demo, "/dev/ulcan01");
    const int p2 = OpenPort(*demo, "/dev/ulcan02");
    const uint32_t type0 = Cmd(*demo, p0, 0x00050000).w[1];
    const uint32_t type2 = Cmd(*demo, p2, 0x00050000).w[1];
    EXPECT_GE(type0, 16u);
    EXPECT_EQ(type2, 1u);
    EXPECT_NE(Cmd(*demo, p0, 0x000A0001, {0}).w[1], Cmd(*demo, p2, 0x000A0001, {0}).w[1]);
    EXPECT_EQ(Cmd(*demo, p0, 0x00040000).w[1], 3u);
    __CANCARD_MSG msg = Record(0x77, 1, {0x42});
    EXPECT_EQ(demo->Ioctl(p0, kIoctlSendMsg, &msg), 0);
    __CANCARD_MSG got = Record(0, 0, {}, 5000);
    ASSERT_EQ(demo->Ioctl(p2, kIoctlRecvMsg, &got), 0);
    EXPECT_EQ(got.id, 0x77u);
    got.timeout = 0;
    EXPECT_EQ(demo->Ioctl(p1, kIoctlRecvMsg, &got), 7);

    auto flood = EmulatedDriver::Create("flood");
    ASSERT_EQ(flood->PortCount(), 8);
    EXPECT_EQ(flood->Access("/dev/ulcan07", F_OK), 0);
    const int fd = OpenPort(*flood, "/dev/ulcan05");
    EXPECT_EQ(Cmd(*flood, fd, 0x00040000).w[1], 1u);
    got.timeout = 5000;
    ASSERT_EQ(flood->Ioctl(fd, kIoctlRecvMsg, &got), 0);
    EXPECT_EQ(got.id, 0x105u);
    EXPECT_EQ(got.data[4], 5);
    EXPECT_EQ(Build32(got.data), 0u);
}

}  // namespace
