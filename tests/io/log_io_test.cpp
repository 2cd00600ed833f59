#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/quillon.h"
#include "base/quillon_error.h"
#include "decode/parser.h"
#include "io/log_parser.h"
#include "io/log_producer.h"
#include "io/log_reader.h"
#include "io/read_manager.h"
#include "store/msg_store.h"
#include "support/test_support.h"
#include "app/windows.h"

namespace {

// Counts the completion notices the worker threads send.
struct NoticeCounter : MainFrame {
    void OpenLogFile(const std::string&) override {}
    void LogReadDone() override { reads++; }
    void LogWriteDone() override { writes++; }
    void GetXY(int& x, int& y) override { x = y = 0; }
    MsgDetail* GetMsgDetail() override { return nullptr; }
    std::atomic<int> reads{0}, writes{0};
};

// Gives the application object a fresh store, decoder and window stand-in for one test.
class PipelineTest : public testing::Test {
  protected:
    void SetUp() override {
        App().msgStore = std::make_unique<MsgStore>(64);
        App().parser = std::make_unique<Parser>();
        App().mainFrame = &notices;
    }
    void TearDown() override {
        App().readMgr.StopAll();
        App().mainFrame = nullptr;
        App().msgStore.reset();
        App().parser.reset();
    }
    NoticeCounter notices;
    TempDir dir;
};

CANframe Make(int type, uint32_t ts, int port, uint32_t id, std::initializer_list<uint8_t> data) {
    CANframe f;
    f.type = type;
    f.timestamp = ts;
    f.port = static_cast<uint8_t>(port);
    f.id = id;
    for (uint8_t b : data) f.data[f.length++] = b;
    return f;
}

TEST_F(PipelineTest, WriterLinesParseBack) {
    const CANframe frames[] = {
        Make(FRAME_DATA, 123, 1, 0x181, {0x01, 0x02}),
        Make(FRAME_DATA, 4294967295u, 255, 0x1FFFFFFF, {0, 1, 2, 3, 4, 5, 6, 0xFF}),
        Make(FRAME_DATA, 0, 0, 0x7FF, {}),
        Make(FRAME_RTR, 1000000000, 3, 0x701, {}),
        Make(FRAME_ERROR, 7, 2, 0, {}),
    };
    EXPECT_EQ(LogProducer::FormatLine(frames[0]), "      123 CAN1: 0x00000181 - 0x01 0x02 \n");
    EXPECT_EQ(LogProducer::FormatLine(frames[2]), "        0 CAN0: 0x000007ff - \n");
    EXPECT_EQ(LogProducer::FormatLine(frames[3]), "1000000000 RTR3: 0x00000701\n");
    EXPECT_EQ(LogProducer::FormatLine(frames[4]), "        7 ERROR2:\n");
    CANframe text;
    text.SetText("not written");
    EXPECT_EQ(LogProducer::FormatLine(text), "");

    for (const auto& f : frames) App().msgStore->Add(f);
    App().msgStore->Add(text);
    {
        LogProducer writer(dir.file("out.log"), false);  // writes what is held, then ends
        writer.WaitDone();
        EXPECT_THROW(writer.Write(frames[0]), QuillonError);
    }
    EXPECT_EQ(notices.writes, 1);

    std::unique_ptr<FrameProducer> reader(OpenLogFile(dir.file("out.log")));
    for (const auto& want : frames) {
        CANframe got;
        ASSERT_TRUE(reader->getNextFrame(got));
        EXPECT_EQ(got.type, want.type);
        EXPECT_EQ(got.timestamp, want.timestamp);
        EXPECT_EQ(got.port, want.port);
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.length, want.length);
        for (int i = 0; i < want.length; i++) EXPECT_EQ(got.data[i], want.data[i]);
    }
    CANframe f;
    EXPECT_FALSE(reader->getNextFrame(f));  // nothing more: the end shows at the next call
    EXPECT_THROW(reader->getNextFrame(f), EndOfFileException);
    try {
        reader->getNextFrame(f);
        FAIL();
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.code, 4);
        EXPECT_EQ(e.message, "Log file not open");
    }
}

TEST_F(PipelineTest, LiveWriterFollowsTheStoreUntilClosed) {
    LogProducer writer(dir.file("live.log"), true);
    App().msgStore->Add(Make(FRAME_DATA, 1, 0, 1, {}));
    Thread::sleep(250);
    App().msgStore->Add(Make(FRAME_DATA, 2, 0, 2, {}));
    writer.CloseLog();
    writer.WaitDone();
    EXPECT_EQ(ReadFile(dir.file("live.log")),
              "        1 CAN0: 0x00000001 - \n        2 CAN0: 0x00000002 - \n");
    try {
        LogProducer bad(dir.file("no/such/dir.log"), false);
        FAIL();
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.code, 12);
        EXPECT_EQ(e.message, "Unable to open log file: " + dir.file("no/such/dir.log"));
    }
}

TEST_F(PipelineTest, ReadersReplayAndHoldTheirSlots) {
    WriteFile(dir.file("three.log"), "1 CAN1: 0x1 - 1\n2 CAN1: 0x2 -\nnot a frame line\n");
    for (int i = 0; i < ReadManager::kMaxReaders; i++)
        App().readMgr.ReadLogFile(dir.file("three.log"), true);
    EXPECT_EQ(App().msgStore->GetTotal(nullptr, nullptr), 3 * ReadManager::kMaxReaders);
    EXPECT_EQ(notices.reads, ReadManager::kMaxReaders);
    try {  // finished readers keep their slots until StopAll
        App().readMgr.ReadLogFile(dir.file("three.log"), true);
        FAIL();
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.code, 13);
        EXPECT_EQ(e.message, "Too many message readers alreay open");
    }
    App().readMgr.StopAll();
    App().readMgr.ReadLogFile(dir.file("three.log"), true);
    EXPECT_EQ(App().msgStore->GetTotal(nullptr, nullptr), 3 * ReadManager::kMaxReaders + 3);
    try {
        App().readMgr.ReadLogFile(dir.file("missing.log"), false);
        FAIL();
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.code, 12);
    }
}

}  // namespace
