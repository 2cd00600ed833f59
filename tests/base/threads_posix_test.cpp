#include "base/threads_posix.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/quillon_error.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Records the scheduling it runs with, then waits until released or cancelled.
class ProbeThread : public Thread {
  public:
    void run() override {
        sched_param param;
        pthread_getschedparam(pthread_self(), &policy, &param);
        rtPriority = param.sched_priority;
        started.Put();
        release.Get(-1);
        finished = true;
        done.Put();
    }
    using Thread::priority;
    int policy = -1;
    int rtPriority = -1;
    Semaphore started, release, done;
    std::atomic<bool> finished{false};
};

TEST(ThreadTest, StartsOnceWithTheRequestedScheduling) {
    EXPECT_EQ(Thread::realTimePriority(9, 1, 99) + Thread::realTimePriority(9, 0, 5), 91 + 5);
    ProbeThread t;
    EXPECT_EQ(t.setPriority(10), ERR_RANGE);
    EXPECT_EQ(t.setPriority(-1), ERR_RANGE);
    EXPECT_EQ(t.priority, 5);
    EXPECT_EQ(t.setPriority(7), ERR_OK);
    ASSERT_EQ(t.start(), ERR_OK);
    EXPECT_EQ(t.start(), ERR_ALREADY_STARTED);
    ASSERT_EQ(t.started.Get(5000), ERR_OK);
    // Real-time scheduling when the system grants it, default attributes otherwise.
    if (t.policy == SCHED_FIFO)
        EXPECT_EQ(t.rtPriority, Thread::realTimePriority(7, sched_get_priority_min(SCHED_FIFO),
                                                         sched_get_priority_max(SCHED_FIFO)));
    else
        EXPECT_EQ(t.policy, SCHED_OTHER);
    t.release.Put();
    EXPECT_EQ(t.done.Get(-1), ERR_OK);
    EXPECT_EQ(t.stop(), ERR_OK);
    EXPECT_EQ(t.stop(), ERR_OK);
}

// Exit status 0 when a thread started without the right to real-time scheduling ran all the same.
[[noreturn]] void StartWithoutRealTime() {
    const rlimit none = {0, 0};
    if (setrlimit(RLIMIT_RTPRIO, &none) != 0) std::_Exit(2);
    if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(3);
    ProbeThread t;
    if (t.start() != ERR_OK || t.started.Get(5000) != ERR_OK) std::_Exit(4);
    std::_Exit(t.policy == SCHED_OTHER ? 0 : 5);
}

TEST(ThreadTest, FallsBackWhenRealTimeIsRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StartWithoutRealTime(), testing::ExitedWithCode(0), "");
}

TEST(ThreadTest, StopCancelsSleepsAndTimeOuts) {
    ProbeThread waiting;                       // never released
    for (int round = 0; round < 2; round++) {  // a stopped thread can be started again
        ASSERT_EQ(waiting.start(), ERR_OK);
        ASSERT_EQ(waiting.started.Get(-1), ERR_OK);
        EXPECT_EQ(waiting.stop(), ERR_OK);
    }
    EXPECT_FALSE(waiting.finished);

    auto start = Clock::now();
    EXPECT_EQ(Thread::sleep(100), ERR_OK);
    EXPECT_GE(MsSince(start), 98);  // the deadline is kept at millisecond resolution
    Semaphore sem(2);
    EXPECT_EQ(sem.Get(0), ERR_OK);
    EXPECT_EQ(sem.Get(-1), ERR_OK);
    start = Clock::now();
    EXPECT_EQ(sem.Get(60), ERR_TIMEOUT);
    EXPECT_GE(MsSince(start), 58);
    std::thread poster([&] { sem.Put(); });
    EXPECT_EQ(sem.Get(-1), ERR_OK);
    poster.join();
}

}  // namespace
