// Readers add frames while a plot's series is attached half-way, computes its history from the
// store while they go on, and is read as the plot window reads it: no data race (run under TSan),
// and at the end one point at each 100 ms step since the first frame, each counting exactly the
// frames of the second before it, the history and the live points joined without a gap or a step
// back.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "plot/series_feed.h"
#include "store/msg_store.h"

namespace {

constexpr int kSources = 4;
constexpr int kBatches = 300;
constexpr int kBatchFrames = 3;
constexpr int64_t kBatchTime = 10000;  // microseconds: ten batches a 100 ms step
constexpr int kAttachAt = 120;         // the batch before which the series is added

// Strict lockstep without sleeping: batch b of every source is added before any of batch b + 1,
// so that time never goes back; the test thread lets batch b go once all of b - 1 are in.
// `lock` guards every field.
struct Pace {
    std::mutex lock;
    std::condition_variable changed;
    int released = 0;  // batches below this may be added
    int added = 0;     // batches added, all sources
};

TEST(SeriesFeedConcurrencyTest, HistoryAndLivePointsWhileReadersAdd) {
    MsgStore store(100000);
    SeriesFeed feed(nullptr);
    Pace pace;
    std::vector<std::thread> sources;
    for (int s = 0; s < kSources; s++)
        sources.emplace_back([&, s] {
            for (int b = 0; b < kBatches; b++) {
                {
                    std::unique_lock<std::mutex> hold(pace.lock);
                    pace.changed.wait(hold, [&] { return pace.released > b; });
                }
                std::vector<CANframe> frames(kBatchFrames);
                for (CANframe& f : frames) {
                    f.id = 0x181 + static_cast<uint32_t>(s);
                    f.timestamp = static_cast<uint32_t>(b * kBatchTime);
                }
                store.Add(frames.data(), kBatchFrames);
                std::lock_guard<std::mutex> hold(pace.lock);
                pace.added++;
                pace.changed.notify_all();
            }
        });
    SeriesDef def;
    std::string error;
    ASSERT_TRUE(SeriesDef::Parse("rate:all", &def, &error));
    for (int b = 0; b < kBatches; b++) {
        {
            std::unique_lock<std::mutex> hold(pace.lock);
            pace.changed.wait(hold, [&] { return pace.added == b * kSources; });
            pace.released = b + 1;
        }
        pace.changed.notify_all();
        if (b == kAttachAt) {
            // Joined while batch b is under way: the history is computed while it is added.
            store.AddTally(&feed);
            ASSERT_EQ(feed.Add(def), 0);
            feed.Backfill(0, store, nullptr);
        } else if (b > kAttachAt) {
            auto hold = feed.Hold();
            const Trace& trace = feed.TraceOf(0);
            EXPECT_EQ(trace.Runs(), 1u);
            trace.Summarise(0, b * kBatchTime, 100);
        }
    }
    for (std::thread& t : sources) t.join();
    store.RemoveTally(&feed);

    auto hold = feed.Hold();
    const Trace& trace = feed.TraceOf(0);
    const int64_t steps = (kBatches - 1) * kBatchTime / SeriesFeed::kTick;
    ASSERT_EQ(trace.Size(), static_cast<size_t>(steps));
    EXPECT_EQ(trace.Runs(), 1u);
    for (int64_t k = 1; k <= steps; k++) {
        const TracePoint& p = trace.Point(static_cast<size_t>(k - 1));
        ASSERT_EQ(p.time, k * SeriesFeed::kTick);
        // The batches stamped in [(k - 10) steps, k steps).
        const int64_t batches = std::min<int64_t>(k, 10) * (SeriesFeed::kTick / kBatchTime);
        ASSERT_EQ(p.value, static_cast<double>(batches * kSources * kBatchFrames)) << k;
    }
}

}  // namespace
