#include "store/zero_pages.h"

#include <sys/mman.h>

ZeroPages::ZeroPages(size_t size) : bytes(size) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return;
    madvise(p, bytes, MADV_HUGEPAGE);
    base = p;
}

ZeroPages::~ZeroPages() {
    if (base) munmap(base, bytes);
}
