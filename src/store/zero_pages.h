#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

// Anonymous zero-filled memory for the stores' rings: a page costs memory only once it is
// written, so a ring sized for the worst case is free until it fills. Huge pages where the
// system offers them, for far fewer page faults while it fills.
//
// While a ring fills, a helper thread has the system supply the pages a little ahead of the
// writer, so that the writer seldom stops for a fresh page to be zeroed. Beyond what the writer
// reached it holds kAhead bytes, and at most two huge pages more for rounding.
class ZeroPages {
  public:
    static constexpr size_t kAhead = size_t{4} << 20;

    // data() is null when the address space could not be had.
    explicit ZeroPages(size_t bytes);
    ~ZeroPages();
    ZeroPages(const ZeroPages&) = delete;
    ZeroPages& operator=(const ZeroPages&) = delete;

    void* data() const { return base; }

    // The writer is about to write the bytes before offset end. Cheap while the pages ahead
    // are already asked for. One writer at a time.
    void Reach(size_t end) {
        if (end > asked.load(std::memory_order_relaxed)) Ask(end);
    }

    // Waits until the helper has supplied all that was asked for so far, or has stopped for
    // good, at most for limit; false when it is still at work then. What the ring holds in
    // memory stays as it is from then until the writer reaches further.
    bool WaitIdle(std::chrono::milliseconds limit);

  private:
    void Ask(size_t end);
    void SupplyPages();  // the helper thread

    void* base = nullptr;
    size_t bytes;
    std::atomic<size_t> asked{0};  // Reach's threshold; the writer's own
    // `helperLock` guards target, quit, supplied, supplying and stopped; the helper alone moves
    // the last three.
    std::mutex helperLock;
    std::condition_variable wake;  // the helper: more is asked for, or quit
    std::condition_variable idle;  // WaitIdle: the helper is done supplying, for now or for good
    size_t target = 0;
    bool quit = false;
    size_t supplied = 0;
    bool supplying = false;  // between taking a target and having supplied it
    bool stopped = false;    // the system supplies no pages, or the helper quit
    std::thread helper;
};
