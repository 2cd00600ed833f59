#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plot/plot_canvas.h"

class Trace;

// One trace as a plot shows it.
struct PlotTrace {
    const Trace* trace = nullptr;
    std::string label;  // the legend's
    std::string unit;
    PlotColor color{0, 0, 0};
    bool steps = false;  // each value holds until the next
    bool visible = true;
    bool autoScale = true;  // else fixedMin..fixedMax
    double fixedMin = 0;
    double fixedMax = 1;
};

// What part of the traces a plot shows, and where.
struct PlotView {
    int64_t from = 0;  // microseconds: the time range on x
    int64_t to = 1000000;
    int width = 800;  // pixels of the whole picture
    int height = 400;
    int axisTrace = 0;    // the trace whose scale the y axis shows
    int64_t cursor = -1;  // microseconds: a cursor line with each trace's value; -1 none
};

// Where the plot area lies in the picture, and the conversions between pixels and time.
struct PlotArea {
    double left, top, right, bottom;
    double X(const PlotView& v, int64_t time) const;
    int64_t Time(const PlotView& v, double x) const;
    static PlotArea Of(const PlotView& v);
};

// Round values for the grid lines of an axis from lo to hi: at most max of them, steps of 1, 2 or
// 5 times a power of ten.
std::vector<double> NiceTicks(double lo, double hi, int max);
// The y range a trace is drawn over in the view: its fixed one, or the finite values it has in the
// time range (a little wider, never empty); false when it has none there.
bool TraceScale(const PlotTrace& t, const PlotView& v, double* lo, double* hi);
// The time range of every visible trace's points; false when none has any.
bool TracesExtent(const std::vector<PlotTrace>& traces, int64_t* from, int64_t* to);

// Draws the traces: background, grid lines at round values, the time axis in seconds, the axis
// trace's values with its unit, each trace from its per-column summary (min to max in each pixel
// column, lines or steps between them, gaps at values that are not numbers, a mark where time
// went back), the cursor with each trace's value, and the legend.
void PaintPlot(PlotCanvas& canvas, const std::vector<PlotTrace>& traces, const PlotView& view);

// The colours traces get, in the order they are added.
PlotColor TraceColor(int i);
