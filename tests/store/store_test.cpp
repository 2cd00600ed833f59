#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <tuple>
#include <vector>

#include "store/msg_store.h"
#include "store/store_helpers.h"
#include "support/test_support.h"

namespace {

// Every field of a frame that holds no text, the eight data bytes last.
std::vector<long long> Fields(const CANframe& f) {
    std::vector<long long> v = {f.type,    f.extended,  f.length,
                                f.status,  f.unstamped, f.hasPrev,
                                f.hasNext, f.port,      static_cast<long long>(f.timestamp),
                                f.id,      f.scanInfo,  f.txPrev,
                                f.txNext,  f.objID};
    v.insert(v.end(), f.data, f.data + 8);
    return v;
}
const std::vector<long long> kClear = {FRAME_DATA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0,          0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A data frame whose record has every byte different, so every field far from clear.
CANframe Sample() {
    CANframe f;
    auto* bytes = reinterpret_cast<unsigned char*>(&f);
    for (size_t i = 0; i < sizeof f; i++) bytes[i] = static_cast<unsigned char>(0x81 + 37 * i);
    f.type = FRAME_RTR;
    return f;
}

TEST(CANframeTest, CopiesEveryFieldAndOwnsItsText) {
    EXPECT_EQ(Fields(CANframe()), kClear);
    const CANframe src = Sample();
    CANframe copy(src), assigned;
    assigned = src;
    EXPECT_EQ(Fields(copy), Fields(src));
    EXPECT_EQ(Fields(assigned), Fields(src));
    assigned.Reset(false);
    EXPECT_EQ(Fields(assigned), kClear);

    auto a = std::make_unique<CANframe>();
    a->SetText("; comment line");
    CANframe b(*a), c = Sample();
    c = *a;
    EXPECT_TRUE(b.text != a->text && c.text != a->text);
    a.reset();  // the copies keep their own text
    EXPECT_STREQ(c.text, "; comment line");
    b = b;                  // self-assignment keeps the text
    b.SetText(b.text + 2);  // from its own text
    EXPECT_STREQ(b.text, "comment line");
    c = Sample();  // assigning a data frame releases the text
    EXPECT_EQ(Fields(c), Fields(Sample()));
    b.SetText(nullptr);
    CANframe noneCopy(b);
    EXPECT_TRUE(noneCopy.type == FRAME_TEXT && noneCopy.text == nullptr);
}

// Records notices, resets (of a view or of the decoder) and scans, linking frames as a decoder.
struct Recorder : StoreListener, FrameDecoder {
    void AddStore(StoreIndex first, StoreIndex last, int total) override {
        notices.push_back({first, last, total});
    }
    void StoreReset() override { resets++; }
    void Scan(StoreIndex index, CANframe& frame, StoredFrames& stored) override {
        scanned++;
        // Not the frame this one has just replaced in the ring of 4.
        EXPECT_TRUE(stored.Frame(index) == &frame && !stored.Frame(index - 4));
        EXPECT_EQ(stored.Frame(index + 1), nullptr);
        frame.scanInfo = 0x100;
        if (CANframe* prev = stored.Frame(index - 1)) prev->LinkNext(index - 1, index);
    }
    void FlushState() override { resets++; }
    std::vector<std::vector<StoreIndex>> notices;
    int scanned = 0, resets = 0;
};

TEST(MsgStoreTest, RingKeepsIndexesAcrossTheWrap) {
    MsgStore store(4);
    Recorder rec;
    store.AddStoreListener(&rec);
    store.SetDecoder(&rec);
    for (uint32_t id = 0; id < 6; id++) store.Add(Frame(100 + id));
    EXPECT_EQ(Span(store), (std::vector<StoreIndex>{4, 2, 5}));
    CANframe f;
    f.id = 77;
    EXPECT_FALSE(store.Get(1, f) || store.Get(6, f));  // gone, not yet
    EXPECT_EQ(f.id, 77u);                              // and f left alone
    for (int i = 2; i <= 5; i++) {
        ASSERT_TRUE(store.Get(i, f));
        EXPECT_TRUE(f.id == 100u + i && f.scanInfo == 0x100 && f.Next(5) == (i == 5 ? -1 : i + 1));
    }
    EXPECT_EQ(rec.notices, (std::vector<std::vector<StoreIndex>>{
                               {0, 0, 1}, {0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {1, 4, 4}, {2, 5, 4}}));

    store.Clear();  // the decoder forgets too
    EXPECT_EQ(rec.notices.back(), (std::vector<StoreIndex>{0, -1, 0}));
    EXPECT_EQ(Span(store), (std::vector<StoreIndex>{0, 0, -1}));
    store.SetDecoder(nullptr);
    store.Add(Frame(9));
    ASSERT_TRUE(store.Get(0, f));  // indexes start again at 0
    EXPECT_TRUE(f.id == 9 && f.scanInfo == 0 && rec.scanned == 6 && rec.resets == 1);
    store.DelStoreListener(&rec);
    EXPECT_EQ(rec.store, nullptr);
}

TEST(MsgStoreTest, ExchangeLists) {
    // Frames of exchange start, previous, next each.
    auto fill = [](MsgStore& store, const std::vector<std::vector<StoreIndex>>& links) {
        for (const auto& l : links) {
            CANframe f;
            const StoreIndex self = store.GetLast() + 1;
            f.scanInfo = static_cast<uint32_t>(l[0]);
            f.LinkPrev(self, l[1]);
            f.LinkNext(self, l[2]);
            store.Add(f);
        }
    };
    MsgStore store(8), looped(8);
    // 0 alone, 1-3 one exchange, 4 a new one linked from 3.
    fill(store, {{0, -1, -1}, {1, -1, 2}, {0, 1, 3}, {0, 2, 4}, {1, 3, -1}});
    Array<StoreIndex> list;
    auto indexes = [&](int index) {
        store.GetTxList(index, list);
        std::vector<StoreIndex> v;
        for (uint32_t i = 0; i < list.Count(); i++) v.push_back(list[i]);
        return v;
    };
    EXPECT_EQ(indexes(2), (std::vector<StoreIndex>{1, 2, 3}));
    EXPECT_EQ(indexes(4), (std::vector<StoreIndex>{4}));
    EXPECT_EQ(indexes(0), (std::vector<StoreIndex>{0}));
    EXPECT_EQ(indexes(42), (std::vector<StoreIndex>{42}));  // not held
    // Links in a loop (2 back to 3, 3 on to 2) must not hang the walk.
    fill(looped, {{0, -1, -1}, {1, -1, 2}, {0, 3, 3}, {0, 2, 2}, {1, 3, -1}});
    looped.GetTxList(3, list);
    EXPECT_LE(list.Count(), 6u);
    EXPECT_EQ(ThrownError([&] { list[list.Count()]; }), "13 Array index out of bounds error");
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// With address space for less than the whole ring, the store takes what it can get.
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

TEST(FiltStoreTest, FollowsTheStoreAndRebuildsWithTheFilter) {
    MsgStore store(4);
    TestFilter filter;
    FiltStore view(store, filter);
    Recorder rec;
    view.AddStoreListener(&rec);
    for (uint32_t id = 0; id < 3; id++) store.Add(Frame(id));
    EXPECT_EQ(Held(view), (std::vector<StoreIndex>{0, 1, 2}));  // filtered index = store index
    EXPECT_EQ(rec.notices.back(), (std::vector<StoreIndex>{0, 2, 3}));
    CANframe f;
    ASSERT_TRUE(view.Get(2, f));
    EXPECT_EQ(f.id, 2u);
    EXPECT_FALSE(view.Get(3, f) || view.Get(-1, f) || view.GetStoreIndex(3) != -1);
    store.Clear();  // told as a reset, not as an addition
    EXPECT_EQ(Span(view), (std::vector<StoreIndex>{0, 0, -1}));
    EXPECT_TRUE(rec.resets == 1 && rec.notices.size() == 3);

    // The ring wraps with the store's, whose indexes start again at 0.
    for (uint32_t id : {0x181, 0x281, 0x381, 0x981, 0x100, 0x281}) store.Add(Frame(id));
    EXPECT_EQ(Span(view), (std::vector<StoreIndex>{4, 2, 5}));
    EXPECT_EQ(Held(view), (std::vector<StoreIndex>{2, 3, 4, 5}));
    EXPECT_EQ(rec.notices.back(), (std::vector<StoreIndex>{2, 5, 4}));
    const size_t notices = rec.notices.size();
    const TestFilter::Test tpdo = [](const CANframe& f) {
        return (f.id & 0x7FF) == 0x181 || (f.id & 0x7FF) == 0x281;
    };
    filter.Set(tpdo, view);  // over what the store holds; filtered indexes restart
    EXPECT_EQ(Span(view), (std::vector<StoreIndex>{2, 0, 1}));
    EXPECT_EQ(Held(view), (std::vector<StoreIndex>{3, 5}));
    EXPECT_TRUE(rec.resets == 2 && rec.notices.size() == notices);

    filter.Set([](const CANframe&) { return false; }, view);
    EXPECT_EQ(Span(view), (std::vector<StoreIndex>{0, 0, -1}));
    EXPECT_EQ(view.FindNdx(5), -1);
    // Frames after a rebuild are the notices' again, each once.
    store.Add(Frame(0x181));
    filter.test = tpdo;
    store.Add(Frame(0x181));
    EXPECT_EQ(Held(view), (std::vector<StoreIndex>{7}));
}

// A scan that throws in the middle of a batch leaves no lock held: another thread can still
// rebuild the view, and the store keeps the frames up to the one that failed.
TEST(FiltStoreTest, ABatchThatThrowsReleasesItsLocks) {
    struct Failing : FrameDecoder {
        void Scan(StoreIndex index, CANframe&, StoredFrames&) override {
            if (index == 2) throw std::bad_alloc();
        }
        void FlushState() override {}
    } failing;
    MsgStore store(16);
    store.SetDecoder(&failing);
    TestFilter filter;
    FiltStore view(store, filter);
    std::thread([&] {
        const std::vector<CANframe> batch(8, Frame(0x181));
        EXPECT_THROW(store.Add(batch.data(), 8), std::bad_alloc);
    }).join();
    view.Reset();  // would wait for ever on a lock the other thread kept
    EXPECT_EQ(Held(view), (std::vector<StoreIndex>{0, 1, 2}));
}

// Store indexes run on past 2^31 and 2^32 (about nine hours of eight saturated ports): a store
// whose count starts just below either holds, finds, links and lists its frames by their whole
// indexes, and its filtered view holds and finds them too.
TEST(MsgStoreTest, IndexesRunOnPastTwoToThe31AndThe32) {
    for (const StoreIndex start : {(StoreIndex{1} << 31) - 3, (StoreIndex{1} << 32) - 3}) {
        SCOPED_TRACE(start);
        MsgStore store(4, start);
        Recorder rec;  // links each frame to the one before
        store.SetDecoder(&rec);
        TestFilter odd;
        odd.test = [](const CANframe& f) { return (f.id & 1) != 0; };
        FiltStore view(store, odd);
        for (uint32_t id = 0; id < 6; id++) store.Add(Frame(100 + id));
        EXPECT_EQ(Span(store), (std::vector<StoreIndex>{4, start + 2, start + 5}));
        CANframe f;
        EXPECT_FALSE(store.Get(start + 1, f) || store.Get(start + 6, f));
        EXPECT_FALSE(store.Get(static_cast<int32_t>(start + 4), f));  // a wrapped index is not one
        for (StoreIndex i = start + 2; i <= start + 5; i++) {
            ASSERT_TRUE(store.Get(i, f));
            EXPECT_EQ(f.id, 100 + (i - start));
            EXPECT_EQ(f.Next(store.GetLast()), i == start + 5 ? -1 : i + 1);
        }
        Array<StoreIndex> list;
        store.GetTxList(start + 3, list);
        ASSERT_EQ(list.Count(), 3u);
        EXPECT_TRUE(list[0] == start + 3 && list[1] == start + 4 && list[2] == start + 5);
        // The view holds the odd ones, also the one the store has let go of.
        EXPECT_EQ(Held(view), (std::vector<StoreIndex>{start + 1, start + 3, start + 5}));
        EXPECT_EQ(view.FindNdx(start + 3), 1);
        EXPECT_EQ(view.FindNdx(start + 4), 2);
        ASSERT_TRUE(view.Get(2, f));
        EXPECT_EQ(f.id, 105u);
        odd.Set(odd.test, view);  // rebuilt from the store
        EXPECT_EQ(Held(view), (std::vector<StoreIndex>{start + 3, start + 5}));
        store.Clear();  // the count starts again where it started
        store.Add(Frame(7));
        EXPECT_EQ(Span(store), (std::vector<StoreIndex>{1, start, start}));
    }
}

// The heap bytes of the texts held are bounded as the slots are: past the store's text budget
// the oldest entries go, texts and frames alike, and the newest is always kept. Per case: the
// store's capacity, the entries added (texts of that many characters, 0 for a data frame), then
// the entries held, the first index held and the text bytes held.
TEST(MsgStoreTest, TextsHeldStayWithinTheTextBudget) {
    struct Case {
        int capacity;
        std::vector<std::pair<int, size_t>> added;  // count, text length
        int held;
        StoreIndex first;
        size_t textBytes;
    };
    const size_t big = 4 << 20;  // alone beyond the budget of 100000 slots
    const Case cases[] = {
        // 1 MiB at least: 1024 texts of 1000 characters (1024 bytes each on the heap).
        {64, {{10, 0}, {3000, 1000}}, 64, 2946, 64 * 1024},
        {100000, {{10, 0}, {1000, 1000}}, 1010, 0, 1000 * 1024},
        // 100000 slots, 32 bytes each: 3125 of them.
        {100000, {{10, 0}, {5000, 1000}, {7, 0}}, 3132, 1885, 3125 * 1024},
        {100000, {{1, 0}, {1, big}}, 1, 1, ((big + 1 + 8 + 15) & ~size_t{15})},
        {100000, {{1, big}, {5, 0}, {1, 20}}, 6, 1, 32},
    };
    for (const Case& c : cases) {
        MsgStore store(c.capacity);
        TestFilter all;
        FiltStore view(store, all);
        for (const auto& [n, length] : c.added)
            for (int i = 0; i < n; i++) {
                CANframe f;
                if (length) f.SetText(std::string(length, 't').c_str());
                store.Add(f);
            }
        SCOPED_TRACE(c.capacity);
        EXPECT_EQ(store.GetTotal(nullptr, nullptr), c.held);
        EXPECT_EQ(store.GetFirst(), c.first);
        EXPECT_EQ(store.TextBytes(), c.textBytes);
        EXPECT_LE(store.TextBytes(), std::max(MsgStore::TextBudget(c.capacity), c.textBytes));
        CANframe f;
        EXPECT_FALSE(store.Get(c.first - 1, f));
        EXPECT_EQ(view.GetStoreIndex(view.GetLast()), store.GetLast());
        store.Clear();
        EXPECT_EQ(store.TextBytes(), 0u);
    }
}

// The links of frames at both sides of 2^32 name the whole index of the frame linked to.
TEST(CANframeTest, LinksAcrossTwoToThe32) {
    const StoreIndex at = (StoreIndex{1} << 32) + 5, before = at - 9;
    CANframe f;
    f.LinkPrev(at, before);
    f.LinkNext(at, at + 1);
    const StoreIndex newest = at + 3;
    EXPECT_EQ(f.Prev(newest), before);
    EXPECT_EQ(f.Next(newest), at + 1);
    f.LinkPrev(at, at - (StoreIndex{1} << 31) - 1);  // beyond a link's reach: none
    EXPECT_EQ(f.Prev(newest), -1);
    f.LinkPrev(at, -1);
    EXPECT_EQ(f.Prev(newest), -1);
}

TEST(FiltStoreTest, HeldIndexesOutliveTheStoresFramesAndBisect) {
    MsgStore store(64);
    TestFilter bit8;
    bit8.test = [](const CANframe& f) { return (f.id & 0x100) != 0; };
    FiltStore view(store, bit8);
    for (int i = 0; i <= 30; i++) store.Add(Frame(i >= 10 && i % 10 == 0 ? 0x100 : 0));
    ASSERT_EQ(Held(view), (std::vector<StoreIndex>{10, 20, 30}));  // at filtered positions 0..2
    // An index not held finds the next higher one: the last above all, first + 1 below all.
    const int found[][2] = {{10, 0}, {20, 1}, {30, 2}, {25, 2}, {15, 1}, {40, 2}, {5, 1}};
    for (const auto& c : found) EXPECT_EQ(view.FindNdx(c[0]), c[1]) << c[0];
    store.Clear();
    store.Add(Frame(0x100));
    for (int i : {0, -3, 9}) EXPECT_EQ(view.FindNdx(i), 0);  // one held: first

    // The view keeps indexes whose frames have left the message store.
    for (int i = 0; i < 70; i++) store.Add(Frame(1));
    store.Add(Frame(0x101));
    EXPECT_EQ(Held(view), (std::vector<StoreIndex>{0, 71}));
    CANframe f;
    EXPECT_FALSE(view.Get(0, f));
}

// A rebuild that reports progress tells the listener of the view so far between batches; what
// the progress callback does to the store (add, clear) ends up in the view as without it.
TEST(FiltStoreTest, RebuildReportsItsProgress) {
    MsgStore store(5000);
    TestFilter even;
    FiltStore view(store, even);
    Recorder rec;
    view.AddStoreListener(&rec);
    for (uint32_t id = 0; id < 3000; id++) store.Add(Frame(id));
    rec.notices.clear();
    even.test = [](const CANframe& f) { return f.id % 2 == 0; };
    std::vector<StoreIndex> seen;  // the view's size at each call
    view.Reset([&] {
        seen.push_back(Span(view)[0]);
        if (seen.size() == 1) store.Add(Frame(4000));
    });
    EXPECT_EQ(seen, (std::vector<StoreIndex>{512, 1024, 1501}));  // with the frame added meanwhile
    EXPECT_EQ(rec.notices, (std::vector<std::vector<StoreIndex>>{
                               {0, 511, 512}, {0, 1023, 1024}, {0, 1500, 1501}}));
    EXPECT_EQ(rec.resets, 1);
    view.Reset([&] {
        if (store.GetTotal(nullptr, nullptr) > 2) store.Clear();
    });
    store.Add(Frame(2));
    EXPECT_EQ(Held(view), (std::vector<StoreIndex>{0}));
}

}  // namespace
