#pragma once

#include <pthread.h>
#include <semaphore.h>

#include <cstdint>
#include <memory>

// Worker threads and semaphores over POSIX. Results are ErrorCode values.

// A worker thread: derive, implement run(), start(). Threads run with real-time FIFO scheduling
// when the system allows it, with default attributes otherwise. stop() and the destructor cancel
// the thread without waiting for it; a subclass whose work must not be cut in the middle waits
// for it to finish before it is destroyed. run() must not swallow the cancellation (catch (...)
// without rethrow), since glibc unwinds a cancelled thread like an exception.
class Thread {
  public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    virtual ~Thread();

    virtual void run() = 0;

    // 0 (lowest) to 9; takes effect at the next start().
    int setPriority(int p);
    int start();
    int stop(int unused = 0);

    // Waits ms milliseconds (a cancellation point); below 0 waits until the thread is cancelled.
    static int sleep(int ms);
    // The SCHED_FIFO priority for a priority of 0 to 9 within the system's range min..max.
    static int realTimePriority(int priority, int min, int max);

  protected:
    int32_t priority = 5;
    std::unique_ptr<pthread_t> handle;  // set from start() until stop(); null while not started

  private:
    static void* entry(void* self);
    bool created =
        false;  // handle names a live or finished thread (start can fail after setting it)
};

// A process-private counting semaphore.
class Semaphore {
  public:
    explicit Semaphore(unsigned count = 0);
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;
    virtual ~Semaphore();

    // Takes the count, waiting at most ms milliseconds (for ever when ms < 0).
    // ERR_OK, ERR_TIMEOUT, or ERR_SYSTEM (for example interrupted by a signal).
    int Get(int ms);
    int Put();

  private:
    sem_t sem;
};
