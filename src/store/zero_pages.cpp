#include "store/zero_pages.h"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <exception>

namespace {
constexpr size_t kStep = size_t{2} << 20;  // one huge page
constexpr size_t kPage = 4096;

size_t RoundUp(size_t n, size_t unit) {
    return (n + unit - 1) / unit * unit;
}

// Has the system supply the pages of [p, p + n), writing nothing: pages the writer reached
// first are left as they are. False on a system without this request, or without the memory,
// which leaves the faults to the writer.
bool Populate(char* p, size_t n) {
#ifdef MADV_POPULATE_WRITE
    while (madvise(p, n, MADV_POPULATE_WRITE) != 0)
        if (errno != EINTR) return false;
    return true;
#else
    (void)p;
    (void)n;
    return false;
#endif
}
}  // namespace

ZeroPages::ZeroPages(size_t size) : bytes(size) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return;
    madvise(p, bytes, MADV_HUGEPAGE);
    base = p;
}

ZeroPages::~ZeroPages() {
    {
        std::lock_guard<std::mutex> hold(helperLock);
        quit = true;
    }
    wake.notify_one();
    if (helper.joinable()) helper.join();
    if (base) munmap(base, bytes);
}

void ZeroPages::Ask(size_t end) {
    // Asked again when the writer has used half of what lies ahead.
    const size_t last = RoundUp(bytes, kPage);
    const size_t upTo = std::min(last, RoundUp(end + kAhead, kStep));
    asked.store(upTo == last ? bytes : end + kAhead / 2, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> hold(helperLock);
        if (!base || quit) return;
        target = std::max(target, upTo);
        if (!helper.joinable()) {
            try {
                helper = std::thread(&ZeroPages::SupplyPages, this);
            } catch (const std::exception&) {
                quit = true;  // the writer takes its own page faults, as without a helper
                return;
            }
        }
    }
    wake.notify_one();
}

bool ZeroPages::WaitIdle(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> hold(helperLock);
    return idle.wait_for(hold, limit,
                         [this] { return quit || stopped || (!supplying && supplied >= target); });
}

void ZeroPages::SupplyPages() {
    // Background work: not at the real-time priority of the reader that started it.
    const sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
    char* const start = static_cast<char*>(base);
    std::unique_lock<std::mutex> hold(helperLock);
    for (;;) {
        supplying = false;
        idle.notify_all();
        wake.wait(hold, [this] { return quit || target > supplied; });
        if (quit) break;
        supplying = true;
        const size_t upTo = target;
        size_t at = supplied;
        hold.unlock();
        while (at < upTo) {
            const size_t n = std::min(kStep - at % kStep, upTo - at);
            if (!Populate(start + at, n)) break;
            at += n;
        }
        hold.lock();
        supplied = at;
        if (at < upTo) break;  // the system supplies no more
    }
    supplying = false;
    stopped = true;
    idle.notify_all();
}
