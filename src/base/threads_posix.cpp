#include "base/threads_posix.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <new>

#include "base/quillon_error.h"
#include "base/utils.h"

namespace {

// Absolute CLOCK_REALTIME deadline ms milliseconds from now, at millisecond resolution.
timespec DeadlineAfter(int ms) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    long total = now.tv_nsec / 1000000 + ms;
    timespec deadline;
    deadline.tv_sec = now.tv_sec + total / 1000;
    deadline.tv_nsec = (total % 1000) * 1000000;
    return deadline;
}

}  // namespace

Thread::~Thread() {
    stop();
}

int Thread::setPriority(int p) {
    if (static_cast<unsigned>(p) > 9) return ERR_RANGE;
    priority = p;
    return ERR_OK;
}

int Thread::realTimePriority(int priority, int min, int max) {
    return std::clamp(min + priority * ((max - min + 5) / 10), min, max);
}

void* Thread::entry(void* self) {
    static_cast<Thread*>(self)->run();
    return nullptr;
}

int Thread::start() {
    if (handle) return ERR_ALREADY_STARTED;
    handle.reset(new (std::nothrow) pthread_t);
    if (!handle) return ERR_NO_MEMORY;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attr, SCHED_FIFO);
    sched_param param{};
    param.sched_priority = realTimePriority(priority, sched_get_priority_min(SCHED_FIFO),
                                            sched_get_priority_max(SCHED_FIFO));
    pthread_attr_setschedparam(&attr, &param);
    int err = pthread_create(handle.get(), &attr, entry, this);
    pthread_attr_destroy(&attr);

    if (err != 0) {
        Log("pthread_create erorr %d creating a thread of pri %d.  Retrying...\n", err, priority);
        err = pthread_create(handle.get(), nullptr, entry, this);
    }
    if (err != 0) {
        Log("pthread_create error %d creating a thread with default attributes.\n", err);
        return ERR_SYSTEM;
    }
    created = true;
    return ERR_OK;
}

int Thread::stop(int) {
    if (!handle) return ERR_OK;
    if (created) {
        pthread_cancel(*handle);
        // Nobody joins: detaching lets the system reclaim the thread once it has ended.
        pthread_detach(*handle);
        created = false;
    }
    handle.reset();
    return ERR_OK;
}

int Thread::sleep(int ms) {
    if (ms == 0) return ERR_OK;
    // Nobody posts this semaphore: only the time-out (or cancellation) ends the wait.
    Semaphore never;
    if (ms < 0) {
        for (;;) never.Get(-1);
    }
    return never.Get(ms) == ERR_TIMEOUT ? ERR_OK : ERR_SYSTEM;
}

Semaphore::Semaphore(unsigned count) {
    sem_init(&sem, 0, count);
}

Semaphore::~Semaphore() {
    sem_destroy(&sem);
}

int Semaphore::Get(int ms) {
    int rc;
    if (ms < 0) {
        rc = sem_wait(&sem);
    } else {
        timespec deadline = DeadlineAfter(ms);
        rc = sem_timedwait(&sem, &deadline);
    }
    if (rc == 0) return ERR_OK;
    return errno == ETIMEDOUT ? ERR_TIMEOUT : ERR_SYSTEM;
}

int Semaphore::Put() {
    return sem_post(&sem) == 0 ? ERR_OK : ERR_SYSTEM;
}
