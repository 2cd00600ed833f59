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

void ZeroPages::SupplyPages() {
#ifdef MADV_POPULATE_WRITE
    // Background work: not at the real-time priority of the reader that started it.
    const sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
    char* const start = static_cast<char*>(base);
    for (;;) {
        size_t upTo;
        {
            std::unique_lock<std::mutex> hold(helperLock);
            wake.wait(hold, [this] { return quit || target > supplied; });
            if (quit) return;
            upTo = target;
        }
        while (supplied < upTo) {
            const size_t n = std::min(kStep - supplied % kStep, upTo - supplied);
            // Writing nothing: pages the writer reached first are left as they are. A system
            // without this request, or without the memory, leaves the faults to the writer.
            if (madvise(start + supplied, n, MADV_POPULATE_WRITE) != 0) {
                if (errno == EINTR) continue;
                return;
            }
            supplied += n;
        }
    }
#endif
}
