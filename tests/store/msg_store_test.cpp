#include "store/msg_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>

#include <vector>

#include "app/quillon.h"
#include "decode/parser.h"

namespace {

CANframe Frame(uint32_t id) {
    CANframe f;
    f.id = id;
    f.length = 1;
    f.data[0] = static_cast<uint8_t>(id);
    return f;
}

// Records the notices and what the decoder was handed.
struct Recorder : StoreListener, Parser {
    void AddStore(int first, int last, int total) override {
        notices.push_back({first, last, total});
    }
    void Scan(int index, CANframe& frame) override {
        scanned.push_back({index, static_cast<int>(frame.id), 0});
        frame.scanInfo = 0x100;  // annotates the stored frame
    }
    std::vector<std::vector<int>> notices, scanned;
};

TEST(MsgStoreTest, RingKeepsIndexesAcrossTheWrap) {
    MsgStore store(4);
    EXPECT_EQ(store.GetMax(), 4);
    Recorder rec;
    store.AddStoreListener(&rec);
    App().parser.reset(&rec);
    for (uint32_t id = 0; id < 6; id++) store.Add(Frame(100 + id));
    App().parser.release();

    int first, last;
    EXPECT_EQ(store.GetTotal(&first, &last), 4);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(last, 5);
    EXPECT_EQ(store.GetLast(), 5);
    CANframe f;
    f.id = 77;
    EXPECT_FALSE(store.Get(1, f));  // dropped: the frame is left alone
    EXPECT_EQ(f.id, 77u);
    EXPECT_FALSE(store.Get(6, f));
    EXPECT_EQ(store.GetFramePtr(1), nullptr);
    for (int i = 2; i <= 5; i++) {
        ASSERT_TRUE(store.Get(i, f));
        EXPECT_EQ(f.id, 100u + i);  // the index scanned is the index found
        EXPECT_EQ(f.scanInfo, 0x100u);
        EXPECT_EQ(rec.scanned[i], (std::vector<int>{i, 100 + i, 0}));
    }
    EXPECT_EQ(rec.notices.front(), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(rec.notices.back(), (std::vector<int>{2, 5, 4}));
    EXPECT_EQ(rec.notices.size(), 6u);

    store.Clear();
    EXPECT_EQ(rec.notices.back(), (std::vector<int>{0, -1, 0}));
    EXPECT_EQ(store.GetTotal(nullptr, nullptr), 0);
    EXPECT_EQ(store.GetLast(), -1);
    store.Add(Frame(9));
    ASSERT_TRUE(store.Get(0, f));  // indexes start again at 0
    EXPECT_EQ(f.id, 9u);
    store.DelStoreListener(&rec);
    EXPECT_EQ(rec.store, nullptr);
}

TEST(MsgStoreTest, TextFramesSurviveTheRing) {
    MsgStore store(2);
    for (int i = 0; i < 5; i++) {
        CANframe t;
        t.SetText(("line " + std::to_string(i)).c_str());
        store.Add(t);
    }
    CANframe f;
    ASSERT_TRUE(store.Get(4, f));
    EXPECT_STREQ(f.text, "line 4");
    ASSERT_TRUE(store.Get(3, f));
    EXPECT_STREQ(f.text, "line 3");
}

TEST(MsgStoreTest, ExchangeLists) {
    MsgStore store(8);
    // 0: alone; 1-3: one exchange; 4: a new exchange linked from 3.
    for (int i = 0; i < 5; i++) store.Add(Frame(i));
    auto link = [&](int i, uint32_t info, int prev, int next) {
        CANframe* f = store.GetFramePtr(i);
        f->scanInfo = info;
        f->txPrev = prev;
        f->txNext = next;
    };
    link(1, 1, -1, 2);
    link(2, 0, 1, 3);
    link(3, 0, 2, 4);
    link(4, 1, 3, -1);
    Array<int> list;
    auto indexes = [&] {
        std::vector<int> v;
        for (uint32_t i = 0; i < list.Count(); i++) v.push_back(list[i]);
        return v;
    };
    store.GetTxList(2, list);
    EXPECT_EQ(indexes(), (std::vector<int>{1, 2, 3}));
    store.GetTxList(4, list);
    EXPECT_EQ(indexes(), (std::vector<int>{4}));
    store.GetTxList(0, list);
    EXPECT_EQ(indexes(), (std::vector<int>{0}));
    store.GetTxList(42, list);  // not held
    EXPECT_EQ(indexes(), (std::vector<int>{42}));

    link(2, 0, 3, 3);  // links in a loop must not hang the walk
    link(3, 0, 2, 2);
    store.GetTxList(3, list);
    EXPECT_LE(list.Count(), 6u);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// With address space for only part of the ring, the store takes what it can get.
[[noreturn]] void HugeStoreInSmallAddressSpace() {
    const rlimit limit = {1ul << 31, 1ul << 31};
    setrlimit(RLIMIT_AS, &limit);
    MsgStore store(200000000);  // 8 GB of frames
    store.Add(Frame(1));
    CANframe f;
    std::_Exit(store.GetMax() < 200000000 && store.GetMax() >= 2 && store.Get(0, f) ? 0 : 1);
}

TEST(MsgStoreTest, FallsBackWhenTheRingCannotBeHad) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(HugeStoreInSmallAddressSpace(), testing::ExitedWithCode(0),
                "Message store of 200000000 frames not available; holding [0-9]+ frames");
}
#endif

TEST(ArrayTest, GrowsAndChecksPositions) {
    Array<int> a;
    for (int i = 0; i < 100; i++) a.Append(i * 3);
    ASSERT_EQ(a.Count(), 100u);
    for (int i = 0; i < 100; i++) ASSERT_EQ(a[i], i * 3);
    try {
        a[100];
        FAIL();
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.code, 13);
        EXPECT_EQ(e.message, "Array index out of bounds error");
    }
    a.Clear();
    EXPECT_EQ(a.Count(), 0u);
}

}  // namespace
