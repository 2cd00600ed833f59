#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/quillon_error.h"
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

// The grammar of log lines is checked by quillon-dump's golden case grammar.jsonl and against
// the plain reading of generated lines; here a single line is cut at the line buffer, never
// overrun, and ends at a NUL.
TEST(LogParserTest, LineEndsAtTheBufferOrANul) {
    EXPECT_EQ(Parse(std::string(5000, 'x')), "T 0 1 0 " + std::string(1000, 'x'));
    char nul[] = "12 CAN1: 0x1 - 1\0 2 3";
    EXPECT_EQ(Parse(std::string(nul, sizeof nul)), "D 12 1 0x1 1");
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
    MsgStore store{4096};
    ReadManager readers{&notices};
    TempDir dir;
};

// Every line of a saved log, comments too, comes back byte for byte: the demo and the largest
// value of each field.
TEST_F(PipelineTest, SavedLogIsTheReplayedFile) {
    for (const std::string path :
         {EXAMPLES_DIR "/demo.log", TEST_DATA_DIR "/../../io/data/writer_limits.log"}) {
        store.Clear();
        EXPECT_EQ(readers.ReadLogFile(path, true), 0u);
        readers.StopAll();
        {
            LogWriter writer(dir.file("saved.log"), false, store, &notices);  // writes what is held
            writer.WaitDone();
            EXPECT_THROW(writer.Write(CANframe()), QuillonError);
        }
        EXPECT_EQ(ReadFile(dir.file("saved.log")), ReadFile(path));
    }
    EXPECT_EQ(notices.writes, 2);
}

// A message store that counts the frames read from it.
struct CountedStore : MsgStore {
    using MsgStore::MsgStore;
    bool Get(StoreIndex index, CANframe& frame) override {
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
    // As with fgets: the call that finds nothing more returns false, the next reports the end.
    std::unique_ptr<FrameProducer> reader(OpenLogFile(three));
    CANframe f;
    for (int i = 0; i < 3; i++) EXPECT_TRUE(reader->getNextFrame(f));
    EXPECT_FALSE(reader->getNextFrame(f));
    EXPECT_THROW(reader->getNextFrame(f), EndOfFileException);
    EXPECT_EQ(ThrownError([&] { reader->getNextFrame(f); }), "4 Log file not open");
}

}  // namespace
