#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <vector>

#include "store/filt_store.h"
#include "store/frame_filter.h"

inline CANframe Frame(uint32_t id) {
    CANframe f;
    f.id = id;
    return f;
}

// Count, first and last index of a store by GetTotal; GetFirst and GetLast must agree.
inline std::vector<StoreIndex> Span(Storage& s) {
    StoreIndex first, last;
    const int total = s.GetTotal(&first, &last);
    EXPECT_TRUE(s.GetFirst() == first && s.GetLast() == last);
    return {total, first, last};
}

// The store indexes a filtered view holds, oldest first (without those it drops meanwhile).
inline std::vector<StoreIndex> Held(FiltStore& view) {
    std::vector<StoreIndex> held;
    for (StoreIndex i = view.GetFirst(), last = view.GetLast(); i <= last; i++)
        if (const StoreIndex id = view.GetStoreIndex(i); id >= 0) held.push_back(id);
    return held;
}

// A display filter of the test's own: any test on a frame.
struct TestFilter : FrameFilter {
    using Test = std::function<bool(const CANframe&)>;
    std::mutex& FilterLock() override { return lock; }
    bool Passes(const CANframe& frame) override { return test(frame); }
    // Installs t under the lock, then rebuilds view with it, as the GUI thread does.
    void Set(Test t, FiltStore& view) {
        {
            std::lock_guard<std::mutex> hold(lock);
            test = std::move(t);
        }
        view.Reset();
    }

    std::mutex lock;
    Test test = [](const CANframe&) { return true; };
};
