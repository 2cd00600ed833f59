#include "base/thread_priority.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>

int RealTimePriority(int priority, int min, int max) {
    return std::clamp(min + priority * ((max - min + 5) / 10), min, max);
}

bool SetRealTimePriority(std::thread& thread, int priority) {
    sched_param param{};
    param.sched_priority = RealTimePriority(priority, sched_get_priority_min(SCHED_FIFO),
                                            sched_get_priority_max(SCHED_FIFO));
    return pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param) == 0;
}
