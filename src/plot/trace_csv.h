#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class Trace;

// Comma-separated values of series, as quillon-dump --series and the plot window's export write
// them: a header ("time", then each series' name), then rows of the time in seconds with six
// decimals and every series' value (empty for none: NaN; "inf" and "-inf" as such).
void WriteCsvHeader(const std::vector<std::string>& names, FILE* out);
void WriteCsvRow(int64_t time, const std::vector<double>& values, FILE* out);

// Writes the traces over the times from..to (both included) to path as comma-separated values,
// as quillon-dump --series writes them: a header ("time", then each name), then a row for each
// time at which any trace has a point, in time order: the time in seconds with six decimals and
// every trace's value at that time (the latest point at or before it; empty before the first,
// "inf" and "-inf" as such). O(points in the range x log traces) beyond one pass over each
// trace. On failure says why in error and returns false.
bool WriteTracesCsv(const std::string& path, const std::vector<std::string>& names,
                    const std::vector<const Trace*>& traces, int64_t from, int64_t to,
                    std::string* error);
