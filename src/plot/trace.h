#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

// One point of a trace: a time stamp in microseconds and a value.
struct TracePoint {
    int64_t time;
    double value;  // NaN or infinite: no value there (a gap)
};

// The points of one trace in arrival order, 16 bytes each, with a pyramid of minima and maxima
// over blocks of 16, 256, 4096 ... points (about one byte more per point), so that a plot of any
// number of points is summarised per pixel column in O(columns x log points). Points are added
// in O(1) amortised, never moved (chunked storage: no copy of the whole when it grows).
//
// Time stamps that go backwards (logs put together) start a new run: each run is in time order
// and is summarised on its own, and the plot marks where one begins. After kMaxRuns runs, a point
// that goes back is kept at the time of the one before it (and still counted as a step back).
//
// Not thread-safe: its owner serialises Add with the readers (see SeriesFeed).
class Trace {
  public:
    static constexpr size_t kMaxRuns = 256;

    // A finite value's smallest and largest over a range; empty when min > max.
    struct Range {
        double min = std::numeric_limits<double>::infinity();
        double max = -std::numeric_limits<double>::infinity();
        bool Empty() const { return min > max; }
        void Take(double v) {
            if (v < min) min = v;
            if (v > max) max = v;
        }
        void Take(const Range& r) {
            if (r.min < min) min = r.min;
            if (r.max > max) max = r.max;
        }
    };
    // What falls into one pixel column: how many points, their finite range, and the first and
    // last point (for lines into and out of the column).
    struct Column {
        size_t count = 0;
        Range range;
        TracePoint first{0, 0};
        TracePoint last{0, 0};
    };
    // A run's columns over a time window, and the points just outside the window on either side
    // (time -1: none), so that lines run to the edges.
    struct RunSummary {
        std::vector<Column> columns;
        TracePoint before{-1, 0};
        TracePoint after{-1, 0};
        bool hasBefore = false;
        bool hasAfter = false;
        int64_t start = 0;  // time of the run's first point: where time went back
    };

    Trace() = default;
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    void Add(int64_t time, double value);
    size_t Size() const { return count; }
    const TracePoint& Point(size_t i) const { return (*chunks[i >> kChunkBits])[i & (kChunk - 1)]; }
    // The finite range of points first..last-1, from the pyramid.
    Range Values(size_t first, size_t last) const;
    // Time of the first and last point, and every finite value's range; false when empty.
    bool Bounds(int64_t* firstTime, int64_t* lastTime, Range* values) const;
    // Each run's columns over [from, to) in time, in columns equal slices.
    std::vector<RunSummary> Summarise(int64_t from, int64_t to, int columns) const;
    // The index of the point nearest to time (by time), or SIZE_MAX when empty; and of the latest
    // point at or before time (the value a cursor shows), or SIZE_MAX.
    size_t Nearest(int64_t time) const;
    size_t AtOrBefore(int64_t time) const;
    // Times time went backwards.
    uint64_t Backsteps() const { return backsteps; }
    size_t Runs() const { return runStarts.size(); }
    // Bytes held (points, pyramid, runs).
    size_t Memory() const;

  private:
    static constexpr int kChunkBits = 16;
    static constexpr size_t kChunk = size_t{1} << kChunkBits;
    static constexpr size_t kFan = 16;

    // The first point of run r, and one past its last.
    size_t RunBegin(size_t r) const { return runStarts[r]; }
    size_t RunEnd(size_t r) const { return r + 1 < runStarts.size() ? runStarts[r + 1] : count; }
    // The first index in [begin, end) whose time is at least time.
    size_t LowerBound(size_t begin, size_t end, int64_t time) const;

    std::vector<std::unique_ptr<std::array<TracePoint, kChunk>>> chunks;
    size_t count = 0;
    // levels[k][i]: the range of points i*16^(k+1) .. (i+1)*16^(k+1)-1, complete blocks only.
    std::vector<std::vector<Range>> levels;
    std::vector<size_t> runStarts;
    uint64_t backsteps = 0;
    Range all;
};
