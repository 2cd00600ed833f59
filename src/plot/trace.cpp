#include "plot/trace.h"

#include <algorithm>
#include <cmath>

void Trace::Add(int64_t time, double value) {
    if (count > 0) {
        const int64_t previous = Point(count - 1).time;
        if (time < previous) {
            backsteps++;
            if (runStarts.size() < kMaxRuns)
                runStarts.push_back(count);
            else
                time = previous;
        }
    } else {
        runStarts.push_back(0);
    }
    if ((count & (kChunk - 1)) == 0)
        chunks.push_back(std::make_unique<std::array<TracePoint, kChunk>>());
    (*chunks.back())[count & (kChunk - 1)] = TracePoint{time, value};
    count++;
    if (std::isfinite(value)) all.Take(value);
    // Each block the point completes, level by level: O(1) amortised.
    size_t done = count;
    for (size_t k = 0; done % kFan == 0; k++) {
        if (levels.size() == k) levels.emplace_back();
        Range r;
        const size_t block = done / kFan - 1;
        for (size_t i = block * kFan; i < (block + 1) * kFan; i++) {
            if (k == 0) {
                const double v = Point(i).value;
                if (std::isfinite(v)) r.Take(v);
            } else {
                r.Take(levels[k - 1][i]);
            }
        }
        levels[k].push_back(r);
        done /= kFan;
    }
}

Trace::Range Trace::Values(size_t a, size_t b) const {
    Range r;
    size_t unit = 1;  // points per entry at level k (k = 0: the points themselves)
    auto take = [&](size_t k, size_t i) {
        if (k == 0) {
            const double v = Point(i).value;
            if (std::isfinite(v)) r.Take(v);
        } else {
            r.Take(levels[k - 1][i]);
        }
    };
    for (size_t k = 0; a < b; k++) {
        const size_t up = unit * kFan;
        if (k < levels.size() + 0 && b - a >= up && k + 1 <= levels.size()) {
            // Up to the next boundary of the level above from both ends, then climb.
            const size_t next = std::min((a + up - 1) / up * up, b);
            for (; a < next; a += unit) take(k, a / unit);
            const size_t previous = std::max(b / up * up, a);
            while (b > previous) {
                b -= unit;
                take(k, b / unit);
            }
            unit = up;
        } else {
            for (; a < b; a += unit) take(k, a / unit);
        }
    }
    return r;
}

bool Trace::Bounds(int64_t* firstTime, int64_t* lastTime, Range* values) const {
    if (count == 0) return false;
    int64_t lo = Point(0).time, hi = lo;
    for (size_t r = 0; r < runStarts.size(); r++) {
        lo = std::min(lo, Point(RunBegin(r)).time);
        hi = std::max(hi, Point(RunEnd(r) - 1).time);
    }
    *firstTime = lo;
    *lastTime = hi;
    *values = all;
    return true;
}

size_t Trace::LowerBound(size_t begin, size_t end, int64_t time) const {
    while (begin < end) {
        const size_t mid = begin + (end - begin) / 2;
        if (Point(mid).time < time)
            begin = mid + 1;
        else
            end = mid;
    }
    return begin;
}

std::vector<Trace::RunSummary> Trace::Summarise(int64_t from, int64_t to, int columns) const {
    std::vector<RunSummary> out;
    if (columns <= 0 || to <= from) return out;
    const double width = static_cast<double>(to - from) / columns;
    for (size_t r = 0; r < runStarts.size(); r++) {
        const size_t begin = RunBegin(r), end = RunEnd(r);
        RunSummary s;
        s.start = Point(begin).time;
        size_t at = LowerBound(begin, end, from);
        if (at > begin) {
            s.hasBefore = true;
            s.before = Point(at - 1);
        }
        const size_t stop = LowerBound(at, end, to);
        if (stop < end) {
            s.hasAfter = true;
            s.after = Point(stop);
        }
        if (at == stop && !s.hasBefore && !s.hasAfter) continue;
        s.columns.resize(static_cast<size_t>(columns));
        for (int c = 0; c < columns && at < stop; c++) {
            const int64_t edge =
                c + 1 == columns ? to : from + static_cast<int64_t>(width * (c + 1));
            const size_t next = LowerBound(at, stop, edge);
            if (next == at) continue;
            Column& column = s.columns[static_cast<size_t>(c)];
            column.count = next - at;
            column.range = Values(at, next);
            column.first = Point(at);
            column.last = Point(next - 1);
            at = next;
        }
        out.push_back(std::move(s));
    }
    return out;
}

size_t Trace::Nearest(int64_t time) const {
    size_t best = SIZE_MAX;
    int64_t bestDistance = 0;
    for (size_t r = 0; r < runStarts.size(); r++) {
        const size_t begin = RunBegin(r), end = RunEnd(r);
        const size_t at = LowerBound(begin, end, time);
        for (size_t i : {at, at - 1}) {
            if (i < begin || i >= end) continue;
            const int64_t distance = std::llabs(Point(i).time - time);
            if (best == SIZE_MAX || distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
    }
    return best;
}

size_t Trace::AtOrBefore(int64_t time) const {
    size_t found = SIZE_MAX;
    for (size_t r = 0; r < runStarts.size(); r++) {
        const size_t begin = RunBegin(r), end = RunEnd(r);
        if (Point(begin).time > time) continue;
        // The point closest before time of any run; of equals, the later run's (what the log
        // says last).
        const size_t at = LowerBound(begin, end, time + 1) - 1;
        if (found == SIZE_MAX || Point(at).time >= Point(found).time) found = at;
    }
    return found;
}

size_t Trace::Memory() const {
    size_t bytes = chunks.size() * sizeof(std::array<TracePoint, kChunk>) +
                   runStarts.capacity() * sizeof(size_t);
    for (const auto& level : levels) bytes += level.capacity() * sizeof(Range);
    return bytes;
}
