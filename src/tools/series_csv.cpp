#include "tools/series_csv.h"

#include <cinttypes>
#include <cmath>

void PrintSeriesHeader(const std::vector<SeriesSpec>& specs, FILE* out) {
    std::fputs("time", out);
    for (const SeriesSpec& spec : specs) std::fprintf(out, ",%s", spec.Text().c_str());
    std::fputc('\n', out);
}

void PrintSeriesRow(int64_t time, const std::vector<double>& values, FILE* out) {
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
