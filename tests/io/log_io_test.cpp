#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "io/log_format.h"
#include "io/log_notices.h"
#include "io/log_reader.h"
#include "io/log_writer.h"
#include "io/read_manager.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

struct Notices : LogNotices {
    void LogReadDone() override {
        std::lock_guard<std::mutex> hold(lock);
        reads++;
        readDone.notify_all();
    }
    void LogWriteDone() override { writes++; }
    void ReadFault(const std::string& message) override {
        std::lock_guard<std::mutex> hold(lock);
        faults.push_back(message);
    }
    std::atomic<int> reads{0}, writes{0};
    std::mutex lock;  // guards faults; readDone waits on it
    std::condition_variable readDone;
    std::vector<std::string> faults;
};

class PipelineTest : public testing::Test {
  protected:
    PipelineTest() { readers.SetStore(&store); }
    Notices notices;
    MsgStore store{16384};
    ReadManager readers{&notices};
    TempDir dir;
};

// Every line of a saved log, comments too, comes back byte for byte: the demo and the largest
// value of each field.
TEST_F(PipelineTest, SavedLogIsTheReplayedFile) {
    for (const std::string path :
         {EXAMPLES_DIR "/demo.log", TEST_DATA_DIR "/../../io/data/writer_limits.log"}) {
        store.Clear();
        EXPECT_EQ(readers.ReadLogFile(path, true).droppedLines, 0u);
        readers.StopAll();
        {
            LogWriter writer(dir.file("saved.log"), false, store, &notices);  // writes what is held
            writer.WaitDone();
        }
        EXPECT_EQ(ReadFile(dir.file("saved.log")), ReadFile(path));
    }
    EXPECT_EQ(notices.writes, 2);
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

// A header line of another tool's log only suggests its format: the frame lines decide.
TEST(LogFormatTest, FrameLinesDecideTheFormat) {
    const struct {
        const char* head;
        LogFormat format;
    } kCases[] = {
        {"base hex  timestamps absolute\n      123 CAN1: 0x00000181 - 0x01 \n", LogFormat::Quillon},
        {"base hex  timestamps absolute\n   0.001000 1  181             Rx   d 1 01\n",
         LogFormat::Asc},
        {"date Thu Jan 01 12:00:00.000 am 1970\nbase hex  timestamps absolute\n", LogFormat::Asc},
        {";$FILEVERSION=2.1\n      1         0.000 DT  1     0181 Rx -  1    01\n", LogFormat::Trc},
        {";$FILEVERSION=2.1\n      17 CAN0: 0x00000181 - 0x01 \n", LogFormat::Quillon},
        {"(0000000000.000100) can0 181#01\n", LogFormat::Candump},
        {"# a comment\n", LogFormat::Quillon},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(DetectLogFormat(c.head, std::strlen(c.head)), c.format) << c.head;
}

// What a reading lost or found amiss is told: lines of NULs are dropped lines, a last line
// without an end of line is read but told, and a file whose tail turns to NULs is read up to
// them only. A byte-order mark is skipped.
TEST_F(PipelineTest, ReadingTellsWhatItLostOrFoundAmiss) {
    const std::string frame = "1 CAN1: 0x1 - 1\n";
    // The start of a file is checked whole (any NUL refuses it): the NULs come after it.
    std::string lead;
    while (lead.size() < (1 << 17)) lead += frame;
    const int leadFrames = static_cast<int>(lead.size() / frame.size());
    const int64_t leadEnd = static_cast<int64_t>(lead.size());
    const struct {
        std::string text;
        int frames;
        uint64_t dropped;
        bool endedInLine;
        int64_t binaryFrom;
    } kCases[] = {
        {frame + "2 CAN1: 0x2 - 2", 2, 0, true, -1},
        {frame + "2 CAN1: 0x2 - 2\n", 2, 0, false, -1},
        {kByteOrderMark + frame, 1, 0, false, -1},
        {lead + std::string(4096, '\0') + "\n" + frame, leadFrames + 1, 1, false, -1},
        {lead + std::string(1000, '\0') + "\n" + frame, leadFrames + 1, 1, false, -1},
        {lead + std::string(200000, '\0'), leadFrames, 0, false, leadEnd},
        {lead + std::string(300000, '\0') + frame, leadFrames, 0, false, leadEnd},
        {kByteOrderMark + lead + std::string(70000, '\0'), leadFrames, 0, false, leadEnd + 3},
    };
    for (const auto& c : kCases) {
        store.Clear();
        WriteFile(dir.file("case.log"), c.text);
        const LogReadReport report = readers.ReadLogFile(dir.file("case.log"), true);
        readers.StopAll();
        int frames = 0;
        CANframe f;
        for (int i = 0; i <= store.GetLast(); i++)
            frames += store.Get(i, f) && f.type == FRAME_DATA;
        EXPECT_EQ(frames, c.frames) << c.text.size();
        EXPECT_EQ(store.GetLast() + 1, c.frames) << c.text.size();
        EXPECT_EQ(report.droppedLines, c.dropped) << c.text.size();
        EXPECT_EQ(report.endedInLine, c.endedInLine) << c.text.size();
        EXPECT_EQ(report.binaryFrom, c.binaryFrom) << c.text.size();
    }
}

// A writer never writes a frame as another: a format that cannot carry the identifier leaves
// the frame out and says how many it left out; the program's own format carries them all.
TEST_F(PipelineTest, WriterLeavesOutFramesTheFormatCannotCarry) {
    const struct {
        uint32_t id;
        bool extended;
    } kFrames[] = {{0x800, false}, {0x40000123, false}, {0x181, false},
                   {0x123, true},  {0x20000124, true},  {0x1FFFFFFF | kExtendedMark, false}};
    for (const auto& k : kFrames) {
        CANframe f;
        f.id = k.id;
        f.extended = k.extended;
        store.Add(f);
    }
    {
        LogWriter writer(dir.file("out.candump"), false, store, nullptr, LogFormat::Candump);
        writer.WaitDone();
        EXPECT_EQ(writer.WriteError(),
                  "2 frames left out: the log format cannot carry their identifiers");
    }
    EXPECT_EQ(ReadFile(dir.file("out.candump")),
              "(0000000000.000000) can0 181#\n(0000000000.000000) can0 00000123#\n"
              "(0000000000.000000) can0 00000124#\n(0000000000.000000) can0 1FFFFFFF#\n");
    LogWriter own(dir.file("out.log"), false, store, nullptr);
    own.WaitDone();
    EXPECT_EQ(own.WriteError(), "");
}

// A source that plays a script: a frame ('f'), a fault of the given text, then its end.
class ScriptedSource : public FrameProducer {
  public:
    explicit ScriptedSource(std::vector<std::string> steps) : steps(std::move(steps)) {}
    bool getNextFrame(CANframe& frame) override {
        if (next == steps.size()) throw EndOfFileException();
        const std::string step = steps[next++];
        if (step != "f") throw QuillonError(10, step);
        frame = CANframe();
        return true;
    }

  private:
    const std::vector<std::string> steps;
    size_t next = 0;
};

// A reader's faults are told as they happen, a repeated one once, and frames after a fault are
// told too; the frames on either side are all stored.
TEST_F(PipelineTest, ReaderFaultsAreToldOnceUntilFramesComeAgain) {
    readers.AddReader(std::make_unique<ScriptedSource>(std::vector<std::string>{
                          "f", "down", "down", "down", "f", "f", "down", "busy", "f"}),
                      "Port 3");
    std::unique_lock<std::mutex> hold(notices.lock);
    notices.readDone.wait(hold, [&] { return notices.reads == 1; });
    EXPECT_EQ(notices.faults,
              (std::vector<std::string>{"Port 3: down", "Port 3: receiving again", "Port 3: down",
                                        "Port 3: busy", "Port 3: receiving again"}));
    EXPECT_EQ(store.GetTotal(nullptr, nullptr), 4);
}

// A source that gives nothing until its reader is stopped.
struct Silent : FrameProducer {
    int getNextFrames(CANframe*, int) override {
        std::unique_lock<std::mutex> hold(lock);
        woken.wait(hold, [&] { return interrupted; });
        return 0;
    }
    void Interrupt() override {
        std::lock_guard<std::mutex> hold(lock);
        interrupted = true;
        woken.notify_all();
    }
    std::mutex lock;  // guards interrupted
    std::condition_variable woken;
    bool interrupted = false;
};

TEST_F(PipelineTest, FinishedReadersGiveUpTheirSlots) {
    ReadManager unconnected;
    EXPECT_EQ(ThrownError([&] { unconnected.AddReader(std::make_unique<FrameProducer>()); }),
              "13 No message store to read into");
    const std::string three = dir.file("three.log");
    WriteFile(three, "1 CAN1: 0x1 - 1\n2 CAN1: 0x2 -\nnot a frame line\n");
    // Twice as many replays as slots, each to its end without StopAll: a finished reader's slot
    // is taken by the next one, lowest first.
    for (int i = 0; i < 2 * ReadManager::kMaxReaders; i++) readers.ReadLogFile(three, true);
    EXPECT_EQ(store.GetTotal(nullptr, nullptr), 3 * 2 * ReadManager::kMaxReaders);
    for (int i = 0; i < ReadManager::kMaxReaders - 1; i++)
        EXPECT_EQ(readers.AddReader(std::make_unique<Silent>()), i);
    // Seven running, one finished: the finished one's slot is taken.
    EXPECT_EQ(readers.ReadLogFile(three, false).droppedLines, 0u);
    readers.StopAll();  // waits for every notice
    EXPECT_EQ(notices.reads, 2 * ReadManager::kMaxReaders + 1);
    // Eight running readers hold every slot.
    for (int i = 0; i < ReadManager::kMaxReaders; i++)
        EXPECT_EQ(readers.AddReader(std::make_unique<Silent>()), i);
    EXPECT_EQ(ThrownError([&] { readers.ReadLogFile(three, true); }),
              "13 Too many message readers alreay open");
    readers.StopAll();
    readers.ReadLogFile(three, true);
    EXPECT_EQ(store.GetTotal(nullptr, nullptr), 3 * (2 * ReadManager::kMaxReaders + 2));
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
