#include "store/filt_store.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/quillon.h"
#include "filter/filter_element.h"
#include "store/held_indexes.h"
#include "store/msg_store.h"

namespace {

CANframe Frame(uint32_t id) {
    CANframe f;
    f.id = id;
    f.length = 1;
    return f;
}

struct Recorder : StoreListener {
    void AddStore(int first, int last, int total) override {
        notices.push_back({first, last, total});
    }
    void StoreReset() override { resets++; }
    std::vector<std::vector<int>> notices;
    int resets = 0;
};

class FiltStoreTest : public ::testing::Test {
  protected:
    void TearDown() override { App().filter = std::make_unique<FilterLogic>(); }
    static void Use(std::unique_ptr<FilterLogic> filter) { App().filter = std::move(filter); }
};

TEST_F(FiltStoreTest, AcceptAllMirrorsTheStore) {
    MsgStore store(4);
    FiltStore view(store);
    EXPECT_EQ(view.GetMax(), 4);
    Recorder rec;
    view.AddStoreListener(&rec);
    for (uint32_t id = 0; id < 3; id++) store.Add(Frame(id));
    EXPECT_EQ(Held(view), (std::vector<int>{0, 1, 2}));  // filtered index = store index
    EXPECT_EQ(rec.notices.back(), (std::vector<int>{0, 2, 3}));
    CANframe f;
    ASSERT_TRUE(view.Get(2, f));
    EXPECT_EQ(f.id, 2u);
    EXPECT_FALSE(view.Get(3, f));
    EXPECT_FALSE(view.Get(-1, f));
    EXPECT_EQ(view.GetFrameID(3), -1);

    // The ring wraps with the store's.
    for (uint32_t id = 3; id < 10; id++) store.Add(Frame(id));
    EXPECT_EQ(view.GetFirst(), 6);
    EXPECT_EQ(view.GetLast(), 9);
    EXPECT_EQ(Held(view), (std::vector<int>{6, 7, 8, 9}));
    EXPECT_EQ(rec.notices.back(), (std::vector<int>{6, 9, 4}));
    EXPECT_EQ(rec.notices.size(), 10u);

    // A clear empties the view and is told as a reset, not as an addition.
    store.Clear();
    EXPECT_EQ(view.GetTotal(nullptr, nullptr), 0);
    EXPECT_EQ(view.GetLast(), -1);
    EXPECT_EQ(rec.resets, 1);
    EXPECT_EQ(rec.notices.size(), 10u);
    store.Add(Frame(42));
    EXPECT_EQ(Held(view), (std::vector<int>{0}));
    EXPECT_EQ(rec.notices.back(), (std::vector<int>{0, 0, 1}));
}

TEST_F(FiltStoreTest, ResetGivesTheViewOfFramesArrivingWithTheFilter) {
    auto filter = [] {
        return std::make_unique<FilterOR>(std::make_unique<FeCanID>(0x181, 0x7FF),
                                          std::make_unique<FeCanID>(0x281, 0x7FF));
    };
    auto ids = [](auto add) {
        const uint32_t pattern[] = {0x181, 0x281, 0x381, 0x981, 0x100, 0x281, 0x7FF};
        for (uint32_t i = 0; i < 3000; i++) add(pattern[i % 7]);
    };
    MsgStore arrived(5000), rebuilt(5000);
    Use(filter());
    FiltStore arrivedView(arrived);
    ids([&](uint32_t id) { arrived.Add(Frame(id)); });

    Use(std::make_unique<FilterLogic>());
    FiltStore rebuiltView(rebuilt);
    Recorder rec;
    rebuiltView.AddStoreListener(&rec);
    ids([&](uint32_t id) { rebuilt.Add(Frame(id)); });
    EXPECT_EQ(rebuiltView.GetTotal(nullptr, nullptr), 3000);
    const size_t notices = rec.notices.size();
    Use(filter());
    rebuiltView.Reset();

    EXPECT_EQ(Held(arrivedView).size(), 1715u);  // 4 of each 7, and 3 of the last 4
    EXPECT_EQ(Held(rebuiltView), Held(arrivedView));
    EXPECT_EQ(rebuiltView.GetFirst(), 0);  // filtered indexes restart
    EXPECT_EQ(rec.resets, 1);
    EXPECT_EQ(rec.notices.size(), notices);

    // A filter that passes nothing leaves the view empty.
    Use(std::make_unique<FePort>(7));
    rebuiltView.Reset();
    EXPECT_EQ(rebuiltView.GetTotal(nullptr, nullptr), 0);
    EXPECT_EQ(rebuiltView.GetLast(), -1);
    EXPECT_EQ(rebuiltView.FindNdx(5), -1);
    // Frames after a rebuild are the notices' again, each once.
    rebuilt.Add(Frame(0x181));
    rebuilt.Add(Frame(0x181));
    EXPECT_EQ(rebuiltView.GetTotal(nullptr, nullptr), 0);
    Use(std::make_unique<FilterLogic>());
    rebuilt.Add(Frame(0x181));
    EXPECT_EQ(Held(rebuiltView), (std::vector<int>{3002}));
}

TEST_F(FiltStoreTest, HeldIndexesOutliveTheStoresFrames) {
    MsgStore store(4);
    Use(std::make_unique<FeCanID>(0x100, 0x100));
    FiltStore view(store);
    store.Add(Frame(0x100));
    for (int i = 0; i < 8; i++) store.Add(Frame(1));
    EXPECT_EQ(Held(view), (std::vector<int>{0}));
    CANframe f;
    EXPECT_FALSE(view.Get(0, f));  // the frame left the message store
    store.Add(Frame(0x101));
    ASSERT_TRUE(view.Get(1, f));
    EXPECT_EQ(f.id, 0x101u);
}

TEST_F(FiltStoreTest, FindNdxBisects) {
    MsgStore store(64);
    Use(std::make_unique<FeCanID>(1, 1));
    FiltStore view(store);
    EXPECT_EQ(view.FindNdx(0), -1);
    for (int i = 0; i <= 30; i++) store.Add(Frame(i % 10 == 0 ? 1 : 0));
    EXPECT_EQ(Held(view), (std::vector<int>{0, 10, 20, 30}));
    store.Clear();  // filtered positions 0..2 for store indexes 10, 20, 30
    for (int i = 0; i <= 30; i++) store.Add(Frame(i >= 10 && i % 10 == 0 ? 1 : 0));
    ASSERT_EQ(Held(view), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(view.FindNdx(10), 0);
    EXPECT_EQ(view.FindNdx(20), 1);
    EXPECT_EQ(view.FindNdx(30), 2);
    EXPECT_EQ(view.FindNdx(25), 2);  // the next higher one
    EXPECT_EQ(view.FindNdx(15), 1);
    EXPECT_EQ(view.FindNdx(40), 2);  // above all: the last
    EXPECT_EQ(view.FindNdx(5), 1);   // below all: first + 1

    store.Clear();
    store.Add(Frame(1));
    EXPECT_EQ(view.FindNdx(0), 0);
    EXPECT_EQ(view.FindNdx(-3), 0);  // one held: first
    EXPECT_EQ(view.FindNdx(9), 0);
}

}  // namespace
