#include "plot/trace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

Trace::Range BruteRange(const std::vector<TracePoint>& points, size_t a, size_t b) {
    Trace::Range r;
    for (size_t i = a; i < b; i++)
        if (std::isfinite(points[i].value)) r.Take(points[i].value);
    return r;
}

// The pyramid's ranges and the per-column summary against a brute force over random data:
// sizes around the pyramid's block edges, with values that are not numbers among them.
TEST(TraceTest, SummariesAgreeWithBruteForce) {
    std::mt19937_64 random(2026);
    for (size_t n : {size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{255}, size_t{256},
                     size_t{4097}, size_t{70000}}) {
        Trace trace;
        std::vector<TracePoint> points;
        int64_t time = 0;
        for (size_t i = 0; i < n; i++) {
            time += static_cast<int64_t>(random() % 1000);
            double value = static_cast<double>(static_cast<int64_t>(random() % 20001) - 10000);
            if (random() % 50 == 0) value = std::numeric_limits<double>::quiet_NaN();
            if (random() % 97 == 0) value = std::numeric_limits<double>::infinity();
            points.push_back({time, value});
            trace.Add(time, value);
        }
        ASSERT_EQ(trace.Size(), n);
        for (int k = 0; k < 300; k++) {
            size_t a = random() % (n + 1), b = random() % (n + 1);
            if (a > b) std::swap(a, b);
            const Trace::Range want = BruteRange(points, a, b), got = trace.Values(a, b);
            ASSERT_EQ(want.Empty(), got.Empty()) << n << " " << a << " " << b;
            if (!want.Empty()) {
                ASSERT_EQ(want.min, got.min) << n << " " << a << " " << b;
                ASSERT_EQ(want.max, got.max) << n << " " << a << " " << b;
            }
        }
        // Columns over a window: every point in exactly one column, each with its range and ends.
        const int64_t from = points[n / 3].time, to = points[n - 1].time + 1;
        const int columns = 37;
        const auto runs = trace.Summarise(from, to, columns);
        ASSERT_EQ(runs.size(), 1u);
        size_t counted = 0;
        for (int c = 0; c < columns; c++) {
            const int64_t lo = from + static_cast<int64_t>(double(to - from) / columns * c);
            const int64_t hi =
                c + 1 == columns
                    ? to
                    : from + static_cast<int64_t>(double(to - from) / columns * (c + 1));
            size_t a = 0;
            while (a < n && points[a].time < lo) a++;
            size_t b = a;
            while (b < n && points[b].time < hi) b++;
            const Trace::Column& column = runs[0].columns[static_cast<size_t>(c)];
            ASSERT_EQ(column.count, b - a) << n << " column " << c;
            counted += column.count;
            if (b > a) {
                EXPECT_EQ(column.first.time, points[a].time);
                EXPECT_EQ(column.last.time, points[b - 1].time);
                const Trace::Range want = BruteRange(points, a, b);
                EXPECT_EQ(want.Empty(), column.range.Empty());
                if (!want.Empty()) {
                    EXPECT_EQ(want.min, column.range.min);
                    EXPECT_EQ(want.max, column.range.max);
                }
            }
        }
        size_t inside = 0;
        for (const TracePoint& p : points) inside += p.time >= from && p.time < to;
        EXPECT_EQ(counted, inside);
    }
}

// Logs put together: time going back starts a run, each summarised and searched on its own; past
// the run limit a step back is held at the time before it.
TEST(TraceTest, TimeGoingBackStartsRuns) {
    Trace trace;
    for (int64_t t : {100, 200, 300, 50, 150, 250, 10}) trace.Add(t, static_cast<double>(t));
    EXPECT_EQ(trace.Runs(), 3u);
    EXPECT_EQ(trace.Backsteps(), 2u);
    const auto runs = trace.Summarise(0, 1000, 10);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].start, 50);
    EXPECT_EQ(trace.Point(trace.AtOrBefore(160)).value, 150);  // the later run says it last
    EXPECT_EQ(trace.Point(trace.Nearest(295)).value, 300);

    Trace many;
    for (size_t i = 0; i < Trace::kMaxRuns + 10; i++) {
        many.Add(1000, 1);
        many.Add(0, 2);
    }
    EXPECT_EQ(many.Runs(), Trace::kMaxRuns);
    EXPECT_EQ(many.Backsteps(), Trace::kMaxRuns + 10);
    EXPECT_EQ(many.Point(many.Size() - 1).time, 1000);  // held, not gone back
}

}  // namespace
