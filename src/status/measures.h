#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

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
    static constexpr int kBuckets = 11;             // the ten summed, and the one under way
    static constexpr int64_t kBucketTime = 100000;  // microseconds

    void Add(int64_t time) {
        const int64_t bucket = time / kBucketTime;
        if (bucket > newest) {
            // Empty the buckets the time passed over since the newest frame, at most all of them.
            for (int64_t b = std::max({newest + 1, bucket - kBuckets + 1, int64_t{0}}); b <= bucket;
                 b++)
                counts[static_cast<size_t>(b % kBuckets)] = 0;
            newest = bucket;
        }
        if (bucket > newest - kBuckets && bucket >= 0)
            counts[static_cast<size_t>(bucket % kBuckets)]++;
    }
    // The frames of the ten whole buckets before the one now falls in.
    uint32_t LastSecond(int64_t now) const {
        const int64_t nowBucket = now / kBucketTime;
        uint32_t total = 0;
        for (int64_t b = std::max(newest - kBuckets + 1, nowBucket - 10);
             b <= std::min(newest, nowBucket - 1); b++)
            if (b >= 0) total += counts[static_cast<size_t>(b % kBuckets)];
        return total;
    }

  private:
    int64_t newest = -kBuckets;  // bucket number of the newest frame
    std::array<uint32_t, kBuckets> counts{};
};
