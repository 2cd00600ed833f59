// The merge stage between the port readers and the store, with eight threads handing frames over
// at once: whatever the threads' timing, every frame is stored once, each port's in its order, and
// the frames stored out of time order are exactly those counted as late.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "base/utils.h"
#include "io/merge_stage.h"
#include "io/read_manager.h"
#include "store/msg_store.h"
#include "store/port_opener.h"
#include "support/test_support.h"

namespace {

constexpr int kPorts = ReadManager::kMaxReaders;
constexpr int kFramesEach = 5000;

// Port port's frames, numbered from 0 (data bytes 0-3), their stamps rising by 1 to 20 at random,
// so that the ports' stamps interleave unevenly.
std::vector<CANframe> PortFrames(int port) {
    std::mt19937 random(static_cast<unsigned>(port) + 1);
    std::uniform_int_distribution<int> step(1, 20);
    std::vector<CANframe> frames(kFramesEach);
    uint64_t stamp = 0;
    for (int i = 0; i < kFramesEach; i++) {
        CANframe& f = frames[static_cast<size_t>(i)];
        f.port = static_cast<uint8_t>(port);
        f.id = 0x100u + static_cast<uint32_t>(port);
        f.length = 4;
        Split32(static_cast<uint32_t>(i), f.data);
        stamp += static_cast<uint64_t>(step(random));
        f.timestamp = stamp;
    }
    return frames;
}

// What the store holds, checked: every port's frames once each and in order (else wrong counts
// them), and how many were stored with a stamp older than one stored before them.
struct Stored {
    int wrong = 0;
    uint64_t outOfOrder = 0;
};

Stored Check(MsgStore& store) {
    Stored s;
    EXPECT_EQ(store.GetTotal(nullptr, nullptr), kPorts * kFramesEach);
    std::vector<uint32_t> next(kPorts, 0);
    uint64_t newest = 0;
    CANframe f;
    for (StoreIndex i = 0; i < kPorts * kFramesEach; i++) {
        if (!store.Get(i, f) || f.port >= kPorts) {
            s.wrong++;
            continue;
        }
        s.wrong += Build32(f.data) != next[f.port]++;
        if (f.timestamp < newest) s.outOfOrder++;
        newest = std::max(newest, f.timestamp);
    }
    EXPECT_EQ(next, std::vector<uint32_t>(kPorts, kFramesEach));
    return s;
}

// Eight threads hand their port's frames over in runs of 1 to 8.
void HandOver(MergeStage& stage, const std::vector<int>& sources) {
    std::vector<std::thread> threads;
    for (int p = 0; p < kPorts; p++)
        threads.emplace_back([&stage, &sources, p] {
            const std::vector<CANframe> frames = PortFrames(p);
            std::mt19937 random(static_cast<unsigned>(p) + 100);
            std::uniform_int_distribution<int> run(1, 8);
            for (int i = 0; i < kFramesEach;) {
                const int n = std::min(run(random), kFramesEach - i);
                stage.Add(sources[static_cast<size_t>(p)], &frames[static_cast<size_t>(i)], n);
                i += n;
            }
        });
    for (std::thread& t : threads) t.join();
}

// Each port's order is kept however the threads ran, and the frames stored out of time order
// are the ones counted as late. With a window longer than the test, frames go only when every
// port holds a newer one, and at Finish: all in stamp order, none late. With no window every
// frame is due as it comes.
TEST(MergeStageConcurrency, EightPortsInStampOrderButForTheLateOnes) {
    for (const FrameMerge::Clock::duration window :
         {FrameMerge::Clock::duration(std::chrono::hours(1)), FrameMerge::Clock::duration(0)}) {
        MsgStore store(kPorts * kFramesEach + 100);
        MergeStage stage(store, window);
        std::vector<int> sources;
        for (int p = 0; p < kPorts; p++) sources.push_back(stage.AddSource());
        HandOver(stage, sources);
        stage.Finish();
        const Stored s = Check(store);
        EXPECT_EQ(s.wrong, 0);
        EXPECT_EQ(s.outOfOrder, stage.LateFrames());
        EXPECT_TRUE(window.count() == 0 || stage.LateFrames() == 0);
    }
}

// A port that hands over its frames one at a time, then waits (without a frame) until it is
// interrupted.
class ScriptedPort : public FrameProducer {
  public:
    ScriptedPort(int port, std::atomic<int>& handed) : frames(PortFrames(port)), handed(handed) {}
    bool getNextFrame(CANframe& frame) override {
        if (next < frames.size()) {
            frame = frames[next++];
            handed++;
            return true;
        }
        std::unique_lock<std::mutex> hold(lock);
        interrupt.wait(hold, [this] { return interrupted; });
        return false;
    }
    void Interrupt() override {
        {
            std::lock_guard<std::mutex> hold(lock);
            interrupted = true;
        }
        interrupt.notify_all();
    }

  private:
    const std::vector<CANframe> frames;
    size_t next = 0;
    std::atomic<int>& handed;
    std::mutex lock;
    std::condition_variable interrupt;
    bool interrupted = false;
};

class ScriptedPorts : public PortOpener {
  public:
    std::unique_ptr<FrameProducer> OpenPort(int port, int, uint64_t) override {
        return std::make_unique<ScriptedPort>(port, handed);
    }
    std::atomic<int> handed{0};
};

// Port readers hand their frames to the merge; StopAll stores every frame the readers read, and
// the late count stays until ports are read again.
TEST(MergeStageConcurrency, StopAllStoresEveryPortFrame) {
    MsgStore store(kPorts * kFramesEach + 100);
    ScriptedPorts ports;
    ReadManager readers(nullptr, &ports);
    readers.SetStore(&store);
    readers.SetStartTime();
    for (int p = 0; p < kPorts; p++) readers.ReadCanIntf(p, 0);
    // Every frame read, though not necessarily stored yet.
    EXPECT_TRUE(WaitUntil([&] { return ports.handed == kPorts * kFramesEach; }));
    readers.StopAll();
    const Stored s = Check(store);
    EXPECT_EQ(s.wrong, 0);
    EXPECT_EQ(s.outOfOrder, readers.LateFrames());
}

}  // namespace
