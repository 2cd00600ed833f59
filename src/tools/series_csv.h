#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "plot/series_spec.h"

// quillon-dump --series: comma-separated values, a header ("time" and each series as written),
// then a row each time a value changes: the time in seconds with six decimals and every series'
// current value (empty before its first).
void PrintSeriesHeader(const std::vector<SeriesSpec>& specs, FILE* out);
void PrintSeriesRow(int64_t time, const std::vector<double>& values, FILE* out);
