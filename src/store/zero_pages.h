#pragma once

#include <cstddef>

// Anonymous zero-filled memory for the stores' rings: a page costs memory only once it is
// written, so a ring sized for the worst case is free until it fills. Huge pages where the
// system offers them, for far fewer page faults while it fills.
class ZeroPages {
  public:
    // data() is null when the address space could not be had.
    explicit ZeroPages(size_t bytes);
    ~ZeroPages();
    ZeroPages(const ZeroPages&) = delete;
    ZeroPages& operator=(const ZeroPages&) = delete;

    void* data() const { return base; }

  private:
    void* base = nullptr;
    size_t bytes;
};
