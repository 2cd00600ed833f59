// Eight readers add at once while the test thread, as the GUI does, reads the store, rebuilds
// the view with one filter after another and clears the store: no data race (run under TSan), every
// frame scanned once in order, and after every rebuild the view holds each passing frame once.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "io/log_notices.h"
#include "io/log_reader.h"
#include "io/read_manager.h"
#include "store/msg_store.h"
#include "store/store_helpers.h"
#include "support/test_support.h"

namespace {

constexpr int kSources = ReadManager::kMaxReaders;
constexpr int kFramesEach = 3000;
constexpr auto kRelaxed = std::memory_order_relaxed;

// Source s sends kFramesEach frames, identifier 100 + s with bytes s, seq >> 8, seq & 255, as
// log files do: up to the test's batch at a time, each batch added to the store with one call,
// and then the end of the file. Each pass of the test thread lets every source have 100 more frames
// and waits until one more is read, so that the next rebuild meets arriving frames and no source
// ends before the 30th pass, whatever the scheduler does. Relaxed: the pacing orders nothing that
// TSan should see.
struct PacedSources : LogNotices {
    struct Source : FrameProducer {
        Source(PacedSources& paced, int s) : paced(paced), s(s) {}
        int getNextFrames(CANframe* frames, int max) override {
            if (seq == kFramesEach) throw EndOfFileException();
            int n = 0;
            for (; n < std::min(max, paced.batch) && seq < kFramesEach; n++, seq++) {
                while (seq >= paced.allowance.load(kRelaxed))
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                frames[n].Reset(false);
                frames[n].id = 100 + s;
                frames[n].length = 3;
                std::tie(frames[n].data[0], frames[n].data[1], frames[n].data[2]) =
                    std::make_tuple(s, seq >> 8, seq & 255);
                paced.read.fetch_add(1, kRelaxed);
            }
            return n;
        }
        PacedSources& paced;
        const int s;
        int seq = 0;
    };

    PacedSources(MsgStore& store, int batch) : batch(batch) {
        readers.SetStore(&store);
        for (int s = 0; s < kSources; s++) readers.AddReader(std::make_unique<Source>(*this, s));
    }
    // The test thread's pass is done; false once every source has ended, or (and the test fails)
    // when none reads on.
    bool Pass() {
        const int before = read.load(kRelaxed);
        allowance.fetch_add(100, kRelaxed);
        const bool readOn = WaitUntil(
            [&] { return read.load(kRelaxed) != before || ended.load(kRelaxed) == kSources; },
            [] { std::this_thread::yield(); });
        EXPECT_TRUE(readOn) << "no source read on after frame " << before;
        return readOn && ended.load(kRelaxed) < kSources;
    }
    void LogReadDone() override { ended.fetch_add(1, kRelaxed); }

    const int batch;
    std::atomic<int> allowance{0}, read{0}, ended{0};
    ReadManager readers{this};  // last: stopped first
};

// Checks the scan order (by index, and each source's by file) and annotates frames as a decoder
// does: marks, and links to the source's previous frame. Written under the ingest lock only.
struct Checker : FrameDecoder {
    void Scan(StoreIndex index, CANframe& frame, StoredFrames& stored) override {
        const int source = frame.data[0] % kSources, seq = frame.data[1] << 8 | frame.data[2];
        if (index != next++ || seq != lastSeq[source] + 1) errors++;
        lastSeq[source] = seq;
        frame.scanInfo = seq == 0 ? 1 : 0;
        frame.LinkPrev(index, lastIndex[source]);
        if (CANframe* prev = stored.Frame(lastIndex[source]))
            prev->LinkNext(lastIndex[source], index);
        lastIndex[source] = index;
    }
    void FlushState() override {
        next = 0;
        lastIndex.assign(kSources, -1);
    }
    StoreIndex next = 0;
    int errors = 0;
    std::vector<int> lastSeq = std::vector<int>(kSources, -1);
    std::vector<StoreIndex> lastIndex = std::vector<StoreIndex>(kSources, -1);
};

// Frames added one at a time, and in batches of 7 (under one hold of the store's locks).
class StoreConcurrencyTest : public testing::TestWithParam<int> {};

TEST_P(StoreConcurrencyTest, ReadersAddWhileTheStoreIsReadAndTheViewRebuilt) {
    MsgStore store(1000);  // wraps many times, and so does the view
    Checker check;
    store.SetDecoder(&check);
    TestFilter filter;
    FiltStore view(store, filter);
    PacedSources logs(store, GetParam());
    const TestFilter::Test tests[] = {[](const CANframe& f) { return f.id % 2 == 1; },
                                      [](const CANframe& f) { return f.data[2] % 3 == 0; },
                                      filter.test};
    int passes = 0, wrong = 0;
    CANframe f;
    // Of the frames up to the newest in the view, those still stored are in it if they pass.
    auto verify = [&](const TestFilter::Test& test) {
        const std::vector<StoreIndex> held = Held(view);
        for (size_t k = 1; k < held.size(); k++) wrong += held[k] <= held[k - 1];
        for (StoreIndex i = store.GetFirst(); !held.empty() && i <= held.back(); i++)
            if (i >= held.front() && store.Get(i, f) &&
                test(f) != std::binary_search(held.begin(), held.end(), i))
                wrong++;
    };
    Array<StoreIndex> list;
    do {
        if (passes == 20) store.Clear();  // frames keep coming after a clear
        const TestFilter::Test& test = tests[passes % 3];
        filter.Set(test, view);
        verify(test);
        StoreIndex first, last;  // reads the store the way the message list does
        store.GetTotal(&first, &last);
        for (StoreIndex i = first; i <= last && i < first + 50; i++) store.Get(i, f);
        store.GetTxList(last, list);
        verify(test);
    } while (++passes && logs.Pass());
    logs.readers.StopAll();
    verify(tests[(passes + 2) % 3]);

    EXPECT_EQ(check.errors, 0);  // so each source's frames were scanned once, from the first
    EXPECT_EQ(check.lastSeq, std::vector<int>(kSources, kFramesEach - 1));  // to the last
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Batches, StoreConcurrencyTest, testing::Values(1, 7));

}  // namespace
