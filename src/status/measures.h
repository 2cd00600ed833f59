#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/tick_ring.h"

// Running figures of the intervals between frames, in microseconds: how many, their mean, the
// shortest and longest, and their jitter (the standard deviation). O(1) per interval.
struct PeriodStats {
    void Add(int64_t interval) {
        const double x = static_cast<double>(interval);
        if (count == 0 || interval < min) min = interval;
        if (count == 0 || interval > max) max = interval;
        count++;
        sum += x;
        sumSquares += x * x;
    }
    double Mean() const { return count ? sum / static_cast<double>(count) : 0; }
    double Jitter() const {
        if (count < 2) return 0;
        const double mean = Mean();
        return std::sqrt(std::max(0.0, sumSquares / static_cast<double>(count) - mean * mean));
    }

    uint64_t count = 0;
    double sum = 0;
    double sumSquares = 0;
    int64_t min = 0;
    int64_t max = 0;
};

// Frames per second over the last second: counts in buckets of 100 ms, of which the ten whole
// ones before the time asked for are summed (the bucket under way is left out, so that a second
// is always ten whole buckets). O(1) per frame.
class RateWindow {
  public:
    static constexpr int64_t kBucketTime = 100000;  // microseconds

    void Add(int64_t time) { buckets.Add(time / kBucketTime, 1); }
    // The frames of the ten whole buckets before the one now falls in.
    uint32_t LastSecond(int64_t now) const {
        const int64_t nowBucket = now / kBucketTime;
        return buckets.Sum(nowBucket - 10, nowBucket - 1);
    }

  private:
    TickRing<uint32_t, 11> buckets;  // the ten summed, and the one under way
};
