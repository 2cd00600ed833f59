#include "plot/trace_csv.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <queue>
#include <tuple>

#include "plot/trace.h"

namespace {

// The next point of one run of one trace within the range, and where that run's part ends.
struct Cursor {
    int64_t time;
    size_t trace;
    size_t run;  // runs of a trace in order: of equal times, the later run's value wins
    size_t at, end;
    bool operator>(const Cursor& o) const {
        return std::tie(time, trace, run) > std::tie(o.time, o.trace, o.run);
    }
};

}  // namespace

void WriteCsvHeader(const std::vector<std::string>& names, FILE* out) {
    std::fputs("time", out);
    for (const std::string& name : names) std::fprintf(out, ",%s", name.c_str());
    std::fputc('\n', out);
}

void WriteCsvRow(int64_t time, const std::vector<double>& values, FILE* out) {
    const long long magnitude = std::llabs(static_cast<long long>(time));
    std::fprintf(out, "%s%lld.%06lld", time < 0 ? "-" : "", magnitude / 1000000,
                 magnitude % 1000000);
    for (double v : values) {
        if (std::isnan(v))
            std::fputs(",", out);
        else if (std::isinf(v))
            std::fputs(v > 0 ? ",inf" : ",-inf", out);
        else
            std::fprintf(out, ",%.15g", v);
    }
    std::fputc('\n', out);
}

bool WriteTracesCsv(const std::string& path, const std::vector<std::string>& names,
                    const std::vector<const Trace*>& traces, int64_t from, int64_t to,
                    std::string* error) {
    // Each trace's runs (where time went back), the part of each within the range, and the value
    // holding at the range's start.
    std::priority_queue<Cursor, std::vector<Cursor>, std::greater<Cursor>> next;
    std::vector<double> values(traces.size(), std::numeric_limits<double>::quiet_NaN());
    for (size_t t = 0; t < traces.size(); t++) {
        const Trace& trace = *traces[t];
        const size_t before = trace.AtOrBefore(from - 1);
        if (before != SIZE_MAX) values[t] = trace.Point(before).value;
        // Runs are in time order: each one's part in the range by bisection.
        auto lowerBound = [&](size_t a, size_t b, int64_t time) {
            while (a < b) {
                const size_t middle = a + (b - a) / 2;
                if (trace.Point(middle).time < time)
                    a = middle + 1;
                else
                    b = middle;
            }
            return a;
        };
        size_t begin = 0, run = 0;
        for (size_t i = 1; i <= trace.Size(); i++) {
            if (i < trace.Size() && trace.Point(i).time >= trace.Point(i - 1).time) continue;
            const size_t a = lowerBound(begin, i, from);
            const size_t b =
                to < std::numeric_limits<int64_t>::max() ? lowerBound(a, i, to + 1) : i;
            if (a < b) next.push({trace.Point(a).time, t, run, a, b});
            begin = i;
            run++;
        }
    }

    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "w"), std::fclose);
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    WriteCsvHeader(names, file.get());
    while (!next.empty()) {
        const int64_t time = next.top().time;
        while (!next.empty() && next.top().time == time) {
            Cursor c = next.top();
            next.pop();
            values[c.trace] = traces[c.trace]->Point(c.at).value;
            if (++c.at < c.end) {
                c.time = traces[c.trace]->Point(c.at).time;
                next.push(c);
            }
        }
        WriteCsvRow(time, values, file.get());
    }
    if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}
