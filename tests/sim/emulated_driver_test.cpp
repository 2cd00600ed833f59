#include "sim/emulated_driver.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "base/utils.h"
#include "hw/can_bits.h"
#include "sim/emulation_test_support.h"
#include "sim/simulated_cards.h"
#include "support/test_support.h"

namespace {

const std::string kData = TEST_DATA_DIR "/../../sim/data/";

std::vector<std::string> Lines(const std::string& name) {
    std::ifstream file(kData + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    EXPECT_FALSE(lines.empty()) << name;
    return lines;
}

// The driver's answer to one line of a transcript (see driver_transcript.txt).
std::string Answer(EmulatedDriver& driver, std::map<std::string, int>& fds,
                   const std::string& line) {
    std::istringstream in(line);
    std::string node, op;
    std::vector<uint32_t> words;
    in >> node >> op;
    for (uint32_t word; in >> std::hex >> word;) words.push_back(word);
    const std::string path = "/dev/" + node;
    const int fd = fds.count(node) ? fds[node] : -1;
    std::string answer;
    int rc = 0;
    errno = 0;
    uint32_t cmd[kCmdWords] = {};
    std::copy(words.begin(), words.end(), cmd);
    if (op == "access") {
        rc = driver.Access(path.c_str(), F_OK);
    } else if (op == "open") {
        rc = fds[node] = driver.Open(path.c_str(), O_RDWR);
    } else if (op == "close") {
        rc = driver.Close(fd);
    } else if (op == "counters") {
        const auto c = driver.Counters(std::stoi(node));
        return Format("received %lu overruns %lu sent %lu", c.received, c.overruns, c.sent);
    } else if (op == "cmd" || op == "ioctl") {
        rc = driver.Ioctl(fd, op == "cmd" ? kIoctlCommand : words[0], cmd);
        for (uint32_t i = 0; op == "cmd" && rc == 0 && i <= (cmd[0] >> 16 ? 0 : cmd[0]); i++)
            answer += Format(" %08x", cmd[i]);
    } else if (op == "send") {
        __CANCARD_MSG msg = Record(words[0], words[1], {words.begin() + 2, words.end()});
        rc = driver.Ioctl(fd, kIoctlSendMsg, &msg);
    } else if (op == "recv") {
        const __CANCARD_MSG msg = Receive(driver, fd, words.empty() ? 5000 : words[0], &rc);
        if (rc == 0) answer = Format(" %08x %02x", msg.id, msg.flags);
        for (int i = 0; rc == 0 && i < 8; i++) answer += Format(" %02x", msg.data[i]);
    }
    if (!answer.empty()) return answer.substr(1);
    return rc < 0 ? Format("-1 %s", strerrorname_np(errno)) : Format("%x", rc);
}

TEST(EmulatedDriver, AnswersAsTheTranscriptSays) {
    std::unique_ptr<SimulatedCards> cards;  // with the program's reading of replayed logs
    std::map<std::string, int> fds;
    std::string expected, actual;
    for (const std::string& line : Lines("driver_transcript.txt")) {
        expected += line + "\n";
        if (line.empty() || line[0] == '#' || line[0] == '@') {
            if (line[0] == '@') {
                const std::string name = line.substr(2);
                const bool file = name.find('.') != std::string::npos;
                cards = std::make_unique<SimulatedCards>((file ? kData + name : name).c_str());
                fds.clear();
            }
            actual += line + "\n";
            continue;
        }
        const std::string command = line.substr(0, line.find(" =>"));
        actual += command + " => " + Answer(*cards->driver(), fds, command) + "\n";
    }
    EXPECT_EQ(actual, expected);
}

// A frame ends at least its length in bit times (2 µs at 500 kbit/s) after the one before it; a
// read without traffic waits for its time-out.
TEST(EmulatedDriver, FramesTakeTheirTimeOnTheBusAndReadsTheirTimeOut) {
    auto driver = EmulatedDriver::Create(kData + "bench.cfg");
    const int a = OpenPort(*driver, "/dev/ulcan00");
    const int b = OpenPort(*driver, "/dev/ulcan01");
    __CANCARD_MSG sent[] = {Record(0x181, 3, {0xA1, 0xB2, 0xC3}),
                            Record(0x1ABCDEF, 8 | kMsgExtended, {1, 2, 3, 4, 5, 6, 7, 8}),
                            Record(0x701, 2 | kMsgRemote, {})};
    for (auto& msg : sent) EXPECT_EQ(driver->Ioctl(a, kIoctlSendMsg, &msg), 0);
    uint32_t last = 0;
    int rc;
    for (int i = 0; i < 3; i++) {
        const __CANCARD_MSG got = Receive(*driver, b, 5000, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(got.timeout, 5000u);
        EXPECT_TRUE(i == 0 ||
                    static_cast<int32_t>(got.timestamp - last) >= 2 * FrameBusBits(FrameOf(got)));
        last = got.timestamp;
    }
    const auto start = std::chrono::steady_clock::now();
    Receive(*driver, a, 50, &rc);
    EXPECT_EQ(rc, 7);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(EmulatedDriver, FloodArrivesCompleteInOrderBackToBack) {
    auto driver = EmulatedDriver::Create(kData + "flood.cfg");
    const int fd = OpenPort(*driver, "/dev/ulcan00");
    uint32_t last = 0;
    int rc;
    for (uint32_t seq = 0; seq < 3000; seq++) {
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
    Receive(*driver, fd, 0, &rc);
    EXPECT_EQ(rc, 7);
    EXPECT_EQ(driver->Counters(0).received, 3000u);
    EXPECT_EQ(driver->Counters(0).overruns, 0u);
}

// Replayed logs: each frame starts at its log time on an idle bus; frames waiting together go
// out by arbitration, the lowest identifier (data before remote, 11 before 29 bits) first.
TEST(EmulatedDriver, LogReplayTimingAndArbitration) {
    const SimulatedCards replay((kData + "replay.cfg").c_str());
    EmulatedDriver* driver = replay.driver();
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
    for (int i = 1; i < 3; i++)
        EXPECT_EQ(got[i].timestamp - got[0].timestamp,
                  logTimes[i] - logTimes[0] + 4u * (FrameBusBits(FrameOf(got[i])) - first));
    for (int i = 4; i < 7; i++)
        EXPECT_EQ(got[i].timestamp - got[i - 1].timestamp,
                  static_cast<uint32_t>(FrameBusBits(FrameOf(got[i]))));
}

// Logs of other tools replay as they read: their format is recognised from their first lines.
TEST(EmulatedDriver, LogReplayTakesTheFormatsTheProgramReads) {
    TempDir dir;
    WriteFile(dir.file("replay.txt"), std::string(kByteOrderMark) +
                                          "(1.000000) can0 181#0102\n"
                                          "(1.002000) can0 12345678#03\n");
    WriteFile(dir.file("emu.cfg"),
              Block("Emulation",
                    Block("Bus", "bitrate:500000\n" + Block("LogReplay", "file:replay.txt\n")) +
                        Block("Card", Block("Port", "bus:0\n"))));
    const SimulatedCards replay(dir.file("emu.cfg").c_str());
    const int fd = OpenPort(*replay.driver(), "/dev/ulcan00");
    const uint32_t ids[] = {0x181, 0x12345678 | 1u << 29};
    const uint32_t flags[] = {2, 1 | kMsgExtended};
    for (int i = 0; i < 2; i++) {
        int rc;
        const __CANCARD_MSG got = Receive(*replay.driver(), fd, 5000, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(got.id, ids[i]) << i;
        EXPECT_EQ(got.flags, flags[i]) << i;
    }
}

TEST(EmulatedDriver, AVanishedNodeComesBackAfterItsTime) {
    auto driver = EmulatedDriver::Create(kData + "busy.cfg");
    const int fd = driver->Open("/dev/ulcan00", O_RDWR);
    const auto reset = std::chrono::steady_clock::now();
    EXPECT_EQ(Cmd(*driver, fd, 0x00FF0000).w[0], 0u);
    ASSERT_TRUE(WaitUntil([&] { return driver->Access("/dev/ulcan00", F_OK) == 0; }));
    EXPECT_GE(std::chrono::steady_clock::now() - reset, std::chrono::milliseconds(100));
    EXPECT_EQ(Cmd(*driver, fd, 0x00040000).status, 0u);
}

TEST(EmulatedDriver, DescriptionErrorsNameLineAndProblem) {
    TempDir dir;
    std::string description;
    for (const std::string& line : Lines("description_errors.txt")) {
        if (line[0] == '#') continue;
        if (line.rfind("=> ", 0) != 0) {
            description += line + "\n";
            continue;
        }
        WriteFile(dir.file("emu.cfg"), description);
        std::string error = ThrownError([&] { SimulatedCards(dir.file("emu.cfg").c_str()); });
        for (size_t at; (at = error.find(dir.path())) != std::string::npos;)
            error.replace(at, dir.path().size(), "DIR");
        EXPECT_EQ(error, line.substr(3)) << description;
        description.clear();
    }
    EXPECT_EQ(ThrownError([&] {
                  DriverFrom(dir.path(),
                             Block("Bus", "bitrate:500000\n" + Block("LogReplay", "file:a.log\n")));
              }),
              "12 " + dir.file("emu.cfg") + ":4: log replay is not available in this program");
    EXPECT_EQ(ThrownError([] { SimulatedCards("/nonexistent/emu.cfg"); }),
              "12 /nonexistent/emu.cfg: cannot read the emulation description");
}

// Ports 0 and 2 of the demo hear the same machine at the same time.
TEST(EmulatedDriver, DemoPortsShareTheirBus) {
    auto demo = EmulatedDriver::Create("demo");
    const int p0 = OpenPort(*demo, "/dev/ulcan00");
    const int p2 = OpenPort(*demo, "/dev/ulcan02");
    int rc;
    const __CANCARD_MSG first = Receive(*demo, p0, 5000, &rc);
    ASSERT_EQ(rc, 0);
    const __CANCARD_MSG same = Receive(*demo, p2, 5000, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::memcmp(&first, &same, sizeof first), 0);
}

}  // namespace
