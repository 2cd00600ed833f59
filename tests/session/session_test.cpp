#include "session/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "filter/fe_list.h"
#include "filter/filter_logic.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

// A window that counts the log threads' notices.
struct NoticeCounter : LogNotices {
    void LogReadDone() override { reads++; }
    std::atomic<int> reads{0};
};

TEST(SessionTest, WiresStoresDecoderFilterReadersAndNotices) {
    Session session(nullptr, nullptr, 100);
    session.SetParserMode(PARSE_CANOPEN);
    NoticeCounter window;
    session.SetNotices(&window);
    FeList elements;
    elements.Add(std::make_unique<FeCanID>(0x080, 0x7FF));
    session.SetFilter(CreateFilterLogic("!A", elements));
    session.readers().ReadLogFile(TEST_DATA_DIR "/small.log", true);
    session.readers().StopAll();  // waits until the reader has sent its notice
    EXPECT_EQ(window.reads, 1);
    EXPECT_EQ(session.store().GetTotal(nullptr, nullptr), 7);
    EXPECT_EQ(session.view().GetTotal(nullptr, nullptr), 6);  // the SYNC frame filtered out
    session.SetNotices(nullptr);

    // New stores keep the decoder's mode, with a decoder that scans the new store.
    for (int round = 0; round < 2; round++) {
        session.CreateStores(50);
        CANframe request, reply;
        request.type = FRAME_RTR;
        request.id = reply.id = 0x705;
        session.store().Add(request);
        session.store().Add(reply);
        ASSERT_TRUE(session.store().Get(1, reply));
        EXPECT_EQ(reply.Prev(1), 0);
    }
    session.SetParserMode(PARSE_DEVICENET);
    EXPECT_EQ(session.parserMode(), PARSE_RAW);
    EXPECT_EQ(session.store().GetTotal(nullptr, nullptr), 0);  // a new decoder starts afresh
}

// A store is unsaved while it holds frames captured since the last Play that no log file took
// whole; frames opened from a file, or before any Play, are never unsaved.
TEST(SessionTest, AStoreIsUnsavedWhileItHoldsACaptureNoLogFileTookWhole) {
    TempDir dir;
    Session session(nullptr, nullptr, 100);
    session.SetParserMode(PARSE_RAW);
    const auto add = [&] { session.store().Add(CANframe()); };
    const auto save = [&](const std::string& path) {
        session.StartWriting(path, false);
        session.StopWriting(true);
    };
    const struct {
        const char* what;
        std::function<void()> step;
        bool unsaved;
    } steps[] = {
        {"frames before any Play", add, false},
        {"Play", [&] { session.RefillStore(StoreOrigin::kCapture); }, false},
        {"a frame captured", add, true},
        {"saved whole", [&] { save(dir.file("a.log")); }, false},
        {"Play again", [&] { session.RefillStore(StoreOrigin::kCapture); }, false},
        {"captured again", add, true},
        {"a save that fails", [&] { save("/dev/full"); }, true},
        {"cleared", [&] { session.store().Clear(); }, false},
        {"captured after the clear", add, true},
        {"another decoder", [&] { session.SetParserMode(PARSE_CANOPEN); }, false},
        {"captured with it", add, true},
        {"Open", [&] { session.RefillStore(StoreOrigin::kFile); }, false},
        {"frames of the file", add, false},
    };
    for (const auto& s : steps) {
        s.step();
        EXPECT_EQ(session.Unsaved(), s.unsaved) << s.what;
    }
}

// Play, Open, Clear and another decoder each wait for the log writer: its file holds exactly the
// frames it was asked to save, however many, and none stored after; a live save ends there.
TEST(SessionTest, ClearingTheStoreWaitsForTheSave) {
    TempDir dir;
    Session session(nullptr, nullptr, 100000);
    session.SetParserMode(PARSE_RAW);
    const struct {
        const char* what;
        bool live;
        std::function<void()> clear;
    } kCases[] = {
        {"Play", false, [&] { session.RefillStore(StoreOrigin::kCapture); }},
        {"Clear", false, [&] { session.ClearStore(); }},
        {"another decoder", false, [&] { session.SetParserMode(PARSE_CANOPEN); }},
        {"Open after a live save", true, [&] { session.RefillStore(StoreOrigin::kFile); }},
    };
    for (const auto& c : kCases) {
        std::vector<CANframe> frames(100000);
        session.store().Add(frames.data(), 100000);
        session.StartWriting(dir.file("saved.log"), c.live);
        c.clear();
        frames[0].id = 0x7FF;
        session.store().Add(frames.data(), 1);
        session.StopWriting(true);
        const std::string saved = ReadFile(dir.file("saved.log"));
        EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 100000) << c.what;
        EXPECT_EQ(saved.find("0x000007ff"), std::string::npos) << c.what;
        EXPECT_EQ(session.Unwritten(), 0u) << c.what;
    }
}

TEST(PortSelectionTest, EveryPortIsMonitoredUntilUnticked) {
    PortSelection ports(nullptr);
    EXPECT_TRUE(ports.Monitored(0) && ports.Monitored(63));
    ports.SetMonitored(1, false);
    ports.SetMonitored(64, false);  // no such port: ignored
    EXPECT_FALSE(ports.Monitored(1) || ports.Monitored(-1) || ports.Monitored(64));
    EXPECT_TRUE(ports.Monitored(2));
    int list[4];
    EXPECT_EQ(ports.GetPortList(list, 4), 0);  // without cards
}

}  // namespace
