#pragma once

#include <atomic>
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

  private:
    void Ask(size_t end);
    void SupplyPages();  // the helper thread

    void* base = nullptr;
    size_t bytes;
    std::atomic<size_t> asked{0};  // Reach's threshold; the writer's own
    // `helperLock` guards target and quit; the helper alone moves `supplied`.
    std::mutex helperLock;
    std::condition_variable wake;
    size_t target = 0;
    bool quit = false;
    size_t supplied = 0;
    std::thread helper;
};
