#include "base/thread_priority.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <thread>

namespace {

// The scheduling policy and priority a thread runs with.
struct Scheduling {
    int policy = -1;
    int priority = -1;
};

// Starts a thread, asks for real-time priority for it, and returns what the thread then runs
// with, as it sees itself, and whether the request was granted.
Scheduling RunAtRealTime(int priority, bool* granted) {
    std::promise<void> raised;
    std::promise<Scheduling> seen;
    std::thread t([&] {
        raised.get_future().wait();
        Scheduling s;
        sched_param param;
        pthread_getschedparam(pthread_self(), &s.policy, &param);
        s.priority = param.sched_priority;
        seen.set_value(s);
    });
    *granted = SetRealTimePriority(t, priority);
    raised.set_value();
    const Scheduling s = seen.get_future().get();
    t.join();
    return s;
}

TEST(ThreadPriorityTest, RealTimePrioritySpreadsOverTheSystemsRange) {
    EXPECT_EQ(RealTimePriority(5, 1, 99), 51);
    EXPECT_EQ(RealTimePriority(0, 1, 99), 1);
    EXPECT_EQ(RealTimePriority(9, 1, 99), 91);
    EXPECT_EQ(RealTimePriority(9, 0, 5), 5);  // clamped to the range
}

TEST(ThreadPriorityTest, ARunningThreadGetsTheRequestedScheduling) {
    bool granted;
    const Scheduling s = RunAtRealTime(7, &granted);
    // Real-time scheduling when the system grants it; the thread is left as it was otherwise.
    if (granted) {
        EXPECT_EQ(s.policy, SCHED_FIFO);
        EXPECT_EQ(s.priority, RealTimePriority(7, sched_get_priority_min(SCHED_FIFO),
                                               sched_get_priority_max(SCHED_FIFO)));
    } else {
        EXPECT_EQ(s.policy, SCHED_OTHER);
    }
}

// Exit status 0 when a thread refused real-time scheduling ran all the same, as before.
[[noreturn]] void RunWithoutRealTime() {
    const rlimit none = {0, 0};
    if (setrlimit(RLIMIT_RTPRIO, &none) != 0) std::_Exit(2);
    if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(3);
    bool granted = true;
    const Scheduling s = RunAtRealTime(kWorkerPriority, &granted);
    std::_Exit(!granted && s.policy == SCHED_OTHER ? 0 : 5);
}

TEST(ThreadPriorityTest, FallsBackWhenRealTimeIsRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunWithoutRealTime(), testing::ExitedWithCode(0), "");
}

}  // namespace
