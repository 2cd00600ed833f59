#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "io/log_format.h"
#include "io/log_notices.h"
#include "io/log_parser.h"
#include "io/log_reader.h"
#include "io/log_writer.h"
#include "io/read_manager.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

// The line parsed, or "-" when it gives nothing to store.
std::string Parse(std::string line) {
    CANframe f;
    f.SetText("old");  // whatever the frame held is released
    return QuillonLogParser().Parse(line.data(), f) ? DescribeFrame(f) : "-";
}

// The grammar of log lines is checked by quillon-dump's golden case grammar.jsonl; here what a
// log file cannot hold.
TEST(LogParserTest, LinesBeyondTheBufferAndNumbersReadLikeStrtoul) {
    // Longer than a line buffer: cut, never overrun.
    EXPECT_EQ(Parse(std::string(5000, 'x')), "T 0 1 0 " + std::string(1000, 'x'));
    char nul[] = "12 CAN1: 0x1 - 1\0 2 3";
    EXPECT_EQ(Parse(std::string(nul, sizeof nul)), "D 12 1 0x1 1");

    // Numbers are read exactly as strtoul/strtol with base 0 read them.
    std::string text =
        "0 00 007 08 0x 0x1g 0XfF +5 -5 +-5 -0x10 1e3 12 - + 99999999999999999999 "
        "-99999999999999999999 0xffffffffffffffff 0x10000000000000000 4294967296";
    uint32_t seed = 7;
    for (int i = 0; i < 3000; i++) {
        text += ' ';
        for (int n = 1 + (seed >> 28); n > 0; n--) {
            seed = seed * 1103515245u + 12345u;
            text += "0123456789abcdefxX+-"[(seed >> 16) % 20];
        }
    }
    std::istringstream words(text);
    for (std::string t; words >> t;) {
        char* end;
        const unsigned long want =
            t[0] == '-' ? std::strtol(t.c_str(), &end, 0) : std::strtoul(t.c_str(), &end, 0);
        const std::string line = t + " CAN1: 0x1 -";
        EXPECT_EQ(Parse(line), end != t.c_str() && !*end ? Format("D %lu 1 0x1", want & 0xFFFFFFFF)
                                                         : "T 0 1 0 " + line);
    }
}

struct Notices : LogNotices {
    void LogReadDone() override { reads++; }
    void LogWriteDone() override { writes++; }
    std::atomic<int> reads{0}, writes{0};
};

class PipelineTest : public testing::Test {
  protected:
    PipelineTest() { readers.SetStore(&store); }
    Notices notices;
    MsgStore store{64};
    ReadManager readers{&notices};
    TempDir dir;
};

TEST_F(PipelineTest, WriterLinesParseBack) {
    std::vector<std::string> sent;
    for (std::string line :
         {"123 CAN1: 0x181 - 1 2", "4294967295 CAN255: 0x1FFFFFFF - 0 1 2 3 4 5 6 255",
          "0 CAN0: 0x7FF -", "1000000000 RTR3: 0x701", "7 ERROR2:", "  # a comment", "9 kept"}) {
        CANframe f;
        ASSERT_TRUE(QuillonLogParser().Parse(line.data(), f));
        store.Add(f);
        sent.push_back(DescribeFrame(f));  // text too: a saved log keeps its comments
    }
    {
        LogWriter writer(dir.file("out.log"), false, store, &notices);  // writes what is held
        writer.WaitDone();
        EXPECT_THROW(writer.Write(CANframe()), QuillonError);
    }
    EXPECT_EQ(notices.writes, 1);
    EXPECT_EQ(ReadFile(dir.file("out.log")),
              "      123 CAN1: 0x00000181 - 0x01 0x02 \n"
              "4294967295 CAN255: 0x1fffffff - 0x00 0x01 0x02 0x03 0x04 0x05 0x06 0xff \n"
              "        0 CAN0: 0x000007ff - \n"
              "1000000000 RTR3: 0x00000701\n"
              "        7 ERROR2:\n  # a comment\n        9 kept\n");

    std::unique_ptr<FrameProducer> reader(OpenLogFile(dir.file("out.log")));
    std::vector<std::string> got;
    CANframe f;
    while (reader->getNextFrame(f)) got.push_back(DescribeFrame(f));  // false at the end, then:
    EXPECT_EQ(got, sent);
    EXPECT_THROW(reader->getNextFrame(f), EndOfFileException);
    EXPECT_EQ(ThrownError([&] { reader->getNextFrame(f); }), "4 Log file not open");
}

TEST(LogRoundTripTest, SavedDemoIsTheReplayedFile) {
    // Every line of the demo, its comments too, comes back byte for byte.
    MsgStore big(4096);
    ReadManager replay;
    replay.SetStore(&big);
    EXPECT_EQ(replay.ReadLogFile(EXAMPLES_DIR "/demo.log", true), 0u);
    replay.StopAll();
    TempDir dir;
    LogWriter(dir.file("saved.log"), false, big, nullptr).WaitDone();
    EXPECT_EQ(ReadFile(dir.file("saved.log")), ReadFile(EXAMPLES_DIR "/demo.log"));
}

// A message store that counts the frames read from it.
struct CountedStore : MsgStore {
    using MsgStore::MsgStore;
    bool Get(int index, CANframe& frame) override {
        const bool got = MsgStore::Get(index, frame);
        if (got) reads++;
        return got;
    }
    std::atomic<int> reads{0};
};

TEST_F(PipelineTest, LiveWriterFollowsTheStoreUntilClosed) {
    CountedStore counted(64);
    LogWriter writer(dir.file("live.log"), true, counted, nullptr, LogFormat::Candump);
    CANframe f;
    f.timestamp = f.id = 1;
    counted.Add(f);
    // The second frame comes after the writer has taken the first: a writer that ended after
    // that pass, or that slept through the next arrival, would miss it.
    EXPECT_TRUE(WaitUntil([&] { return counted.reads == 1; }));
    f.timestamp = f.id = 2;
    counted.Add(f);
    EXPECT_TRUE(WaitUntil([&] { return counted.reads == 2; }));
    writer.CloseLog();
    writer.WaitDone();
    EXPECT_EQ(ReadFile(dir.file("live.log")),
              "(0000000000.000001) can0 001#\n(0000000000.000002) can0 002#\n");
    const std::string bad = dir.file("no/such/dir.log");
    EXPECT_EQ(ThrownError([&] { LogWriter(bad, false, store, nullptr); }),
              "12 Unable to open log file: " + bad);
}

// The formats themselves are checked against quillon-dump by the main window's test of Save.
TEST(LogFormatTest, SavedFormatIsTheExtensions) {
    for (const auto& [path, format] : {std::pair{"a.candump", LogFormat::Candump},
                                       {"a.TXT", LogFormat::Candump},
                                       {"x/a.Asc", LogFormat::Asc},
                                       {"a.trc", LogFormat::Trc},
                                       {"a.log", LogFormat::Quillon},
                                       {"a.trc.bak", LogFormat::Quillon},
                                       {"x.trc/a", LogFormat::Quillon}})
        EXPECT_EQ(LogFormatByExtension(path), format) << path;
}

TEST_F(PipelineTest, ReadersReplayAndHoldTheirSlots) {
    ReadManager unconnected;
    EXPECT_EQ(ThrownError([&] { unconnected.AddReader(std::make_unique<FrameProducer>()); }),
              "13 No message store to read into");
    const std::string three = dir.file("three.log");
    WriteFile(three, "1 CAN1: 0x1 - 1\n2 CAN1: 0x2 -\nnot a frame line\n");
    for (int i = 0; i < ReadManager::kMaxReaders; i++) readers.ReadLogFile(three, true);
    EXPECT_EQ(store.GetTotal(nullptr, nullptr), 3 * ReadManager::kMaxReaders);
    // Finished readers keep their slots until StopAll, which waits for their notices too.
    EXPECT_EQ(ThrownError([&] { readers.ReadLogFile(three, true); }),
              "13 Too many message readers alreay open");
    readers.StopAll();
    EXPECT_EQ(notices.reads, ReadManager::kMaxReaders);
    readers.ReadLogFile(three, true);
    EXPECT_EQ(store.GetTotal(nullptr, nullptr), 3 * ReadManager::kMaxReaders + 3);
    EXPECT_EQ(ThrownError([&] { readers.ReadLogFile(dir.file("missing.log"), false); }),
              "12 Unable to open log file: " + dir.file("missing.log"));
}

}  // namespace
