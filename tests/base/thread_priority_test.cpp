#include "base/thread_priority.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

namespace {

// Starts a thread and asks for real-time priority for it: whether that was granted, then the
// scheduling policy and priority the thread runs with, as it sees itself.
std::vector<int> RunAtRealTime(int priority) {
    std::promise<void> raised;
    std::vector<int> seen(3);
    std::thread t([&] {
        raised.get_future().wait();
        sched_param param;
        pthread_getschedparam(pthread_self(), &seen[1], &param);
        seen[2] = param.sched_priority;
    });
    seen[0] = SetRealTimePriority(t, priority);
    raised.set_value();
    t.join();
    return seen;
}

const std::vector<int> kLeftAlone = {false, SCHED_OTHER, 0};

TEST(ThreadPriorityTest, ARunningThreadGetsRealTimeSpreadOverTheSystemsRange) {
    EXPECT_EQ(RealTimePriority(5, 1, 99), 51);
    EXPECT_EQ(RealTimePriority(0, 1, 99), 1);
    EXPECT_EQ(RealTimePriority(9, 1, 99), 91);
    EXPECT_EQ(RealTimePriority(9, 0, 5), 5);  // clamped to the range
    // Real-time scheduling when the system grants it; the thread is left as it was otherwise.
    const std::vector<int> granted = {true, SCHED_FIFO,
                                      RealTimePriority(7, sched_get_priority_min(SCHED_FIFO),
                                                       sched_get_priority_max(SCHED_FIFO))};
    const std::vector<int> seen = RunAtRealTime(7);
    EXPECT_TRUE(seen == granted || seen == kLeftAlone);
}

// Exit status 0 when a thread refused real-time scheduling ran all the same, as before.
[[noreturn]] void RunWithoutRealTime() {
    const rlimit none = {0, 0};
    if (setrlimit(RLIMIT_RTPRIO, &none) != 0) std::_Exit(2);
    if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(3);
    std::_Exit(RunAtRealTime(kWorkerPriority) == kLeftAlone ? 0 : 5);
}

TEST(ThreadPriorityTest, FallsBackWhenRealTimeIsRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunWithoutRealTime(), testing::ExitedWithCode(0), "");
}

}  // namespace
