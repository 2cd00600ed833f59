#include "plot/plot_painter.h"

#include <algorithm>
#include <cmath>

#include "base/utils.h"
#include "plot/trace.h"

namespace {

constexpr double kMarginLeft = 70, kMarginRight = 16, kMarginTop = 22, kMarginBottom = 36;
constexpr PlotColor kBackground{255, 255, 255};
constexpr PlotColor kGrid{225, 225, 225};
constexpr PlotColor kAxis{60, 60, 60};
constexpr PlotColor kCursor{120, 120, 120};
constexpr PlotColor kBackstep{200, 0, 0};
// Pixels beyond which a coordinate is clamped: a value far off the scale draws at the edge
// rather than overflowing the canvas's integers.
constexpr double kFar = 1e5;

double Clamp(double v) {
    return std::max(-kFar, std::min(kFar, v));
}

// Text of tick value v on an axis whose ticks are step apart.
std::string TickText(double v, double step) {
    const int decimals =
        step > 0 ? std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9))) : 0;
    if (std::fabs(v) < step * 1e-6) v = 0;
    return Format("%.*f", std::min(decimals, 9), v);
}

std::string ValueText(double v) {
    if (!std::isfinite(v)) return std::isnan(v) ? "NaN" : (v > 0 ? "+inf" : "-inf");
    return Format("%.10g", v);
}

}  // namespace

PlotArea PlotArea::Of(const PlotView& v) {
    PlotArea a;
    a.left = kMarginLeft;
    a.top = kMarginTop;
    a.right = std::max(a.left + 10, v.width - kMarginRight);
    a.bottom = std::max(a.top + 10, v.height - kMarginBottom);
    return a;
}

double PlotArea::X(const PlotView& v, int64_t time) const {
    const double span = static_cast<double>(std::max<int64_t>(v.to - v.from, 1));
    return left + static_cast<double>(time - v.from) / span * (right - left);
}

int64_t PlotArea::Time(const PlotView& v, double x) const {
    const double span = static_cast<double>(std::max<int64_t>(v.to - v.from, 1));
    return v.from + static_cast<int64_t>(std::llround((x - left) / (right - left) * span));
}

std::vector<double> NiceTicks(double lo, double hi, int max) {
    std::vector<double> ticks;
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi) || max < 1) return ticks;
    const double rough = (hi - lo) / max;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (step >= rough) break;
    }
    for (double t = std::ceil(lo / step) * step; t <= hi + step * 1e-9; t += step) {
        ticks.push_back(t);
        if (ticks.size() > static_cast<size_t>(max) * 2) break;
    }
    return ticks;
}

bool TraceScale(const PlotTrace& t, const PlotView& v, double* lo, double* hi) {
    if (!t.autoScale) {
        *lo = std::min(t.fixedMin, t.fixedMax);
        *hi = std::max(t.fixedMin, t.fixedMax);
        if (*hi == *lo) *hi = *lo + 1;
        return true;
    }
    if (!t.trace) return false;
    Trace::Range range;
    for (const auto& run : t.trace->Summarise(v.from, v.to + 1, 1)) {
        for (const auto& column : run.columns) range.Take(column.range);
        // The values on either side hold into the view too.
        if (run.hasBefore && std::isfinite(run.before.value)) range.Take(run.before.value);
        if (run.columns.empty() || run.columns[0].count == 0)
            if (run.hasAfter && std::isfinite(run.after.value)) range.Take(run.after.value);
    }
    if (range.Empty()) return false;
    double a = range.min, b = range.max;
    if (a == b) {
        const double pad = a == 0 ? 1 : std::fabs(a) * 0.1;
        a -= pad;
        b += pad;
    } else {
        const double pad = (b - a) * 0.05;
        a -= pad;
        b += pad;
    }
    *lo = a;
    *hi = b;
    return true;
}

bool TracesExtent(const std::vector<PlotTrace>& traces, int64_t* from, int64_t* to) {
    bool any = false;
    for (const PlotTrace& t : traces) {
        int64_t a, b;
        Trace::Range values;
        if (!t.visible || !t.trace || !t.trace->Bounds(&a, &b, &values)) continue;
        *from = any ? std::min(*from, a) : a;
        *to = any ? std::max(*to, b) : b;
        any = true;
    }
    return any;
}

PlotColor TraceColor(int i) {
    static const PlotColor kColors[] = {{31, 119, 180},  {214, 39, 40},   {44, 160, 44},
                                        {255, 127, 14},  {148, 103, 189}, {140, 86, 75},
                                        {227, 119, 194}, {23, 190, 207}};
    return kColors[static_cast<size_t>(i) % (sizeof kColors / sizeof kColors[0])];
}

void PaintPlot(PlotCanvas& c, const std::vector<PlotTrace>& traces, const PlotView& view) {
    const PlotArea a = PlotArea::Of(view);
    c.SetColor(kBackground);
    c.FillRect(0, 0, view.width, view.height);
    c.SetLineWidth(1);
    c.SetDashed(false);

    // Time grid and axis, in seconds.
    const double seconds0 = static_cast<double>(view.from) / 1e6;
    const double seconds1 = static_cast<double>(view.to) / 1e6;
    const int xTicks = std::max(2, static_cast<int>((a.right - a.left) / 90));
    const std::vector<double> times = NiceTicks(seconds0, seconds1, xTicks);
    const double timeStep = times.size() > 1 ? times[1] - times[0] : 1;
    for (double t : times) {
        const double x = a.X(view, static_cast<int64_t>(std::llround(t * 1e6)));
        c.SetColor(kGrid);
        c.Line(x, a.top, x, a.bottom);
        c.SetColor(kAxis);
        c.Line(x, a.bottom, x, a.bottom + 4);
        c.Text(x, a.bottom + 4 + c.TextHeight(), TickText(t, timeStep), PlotCanvas::Align::kCenter);
    }
    c.SetColor(kAxis);
    c.Text((a.left + a.right) / 2, view.height - 4, "time (s)", PlotCanvas::Align::kCenter);

    // Value grid and axis of the axis trace.
    const int axis = view.axisTrace >= 0 && static_cast<size_t>(view.axisTrace) < traces.size()
                         ? view.axisTrace
                         : 0;
    double axisLo, axisHi;
    if (!traces.empty() && TraceScale(traces[static_cast<size_t>(axis)], view, &axisLo, &axisHi)) {
        const std::vector<double> values =
            NiceTicks(axisLo, axisHi, std::max(2, static_cast<int>((a.bottom - a.top) / 40)));
        const double valueStep = values.size() > 1 ? values[1] - values[0] : 1;
        for (double v : values) {
            const double y = a.bottom - (v - axisLo) / (axisHi - axisLo) * (a.bottom - a.top);
            c.SetColor(kGrid);
            c.Line(a.left, y, a.right, y);
            c.SetColor(traces[static_cast<size_t>(axis)].color);
            c.Line(a.left - 4, y, a.left, y);
            c.Text(a.left - 6, y + c.TextHeight() / 3, TickText(v, valueStep),
                   PlotCanvas::Align::kRight);
        }
        c.Text(4, a.top - 6, traces[static_cast<size_t>(axis)].unit, PlotCanvas::Align::kLeft);
    }
    c.SetColor(kAxis);
    c.StrokeRect(a.left, a.top, a.right - a.left, a.bottom - a.top);

    // The traces, each over its own scale.
    c.Clip(a.left, a.top, a.right - a.left, a.bottom - a.top);
    const int columns = std::max(1, static_cast<int>(a.right - a.left));
    for (const PlotTrace& t : traces) {
        double lo, hi;
        if (!t.visible || !t.trace || !TraceScale(t, view, &lo, &hi)) continue;
        auto y = [&](double v) {
            return Clamp(a.bottom - (v - lo) / (hi - lo) * (a.bottom - a.top));
        };
        c.SetColor(t.color);
        c.SetLineWidth(1.5);
        const auto runs = t.trace->Summarise(view.from, view.to + 1, columns);
        for (size_t r = 0; r < runs.size(); r++) {
            const Trace::RunSummary& run = runs[r];
            bool have = false;
            double px = 0, py = 0;
            auto reach = [&](double x, double v) {
                if (!std::isfinite(v)) {
                    have = false;  // no value: a gap
                    return;
                }
                const double ny = y(v);
                if (have) {
                    if (t.steps) {
                        c.Line(px, py, x, py);
                        c.Line(x, py, x, ny);
                    } else {
                        c.Line(px, py, x, ny);
                    }
                }
                px = x;
                py = ny;
                have = true;
            };
            if (run.hasBefore) reach(Clamp(a.X(view, run.before.time)), run.before.value);
            for (size_t col = 0; col < run.columns.size(); col++) {
                const Trace::Column& column = run.columns[col];
                if (column.count == 0) continue;
                const double x = a.left + static_cast<double>(col) + 0.5;
                reach(x, column.first.value);
                if (!column.range.Empty()) c.Line(x, y(column.range.min), x, y(column.range.max));
                if (column.count > 1) {
                    have = false;
                    reach(x, column.last.value);
                }
            }
            if (run.hasAfter)
                reach(Clamp(a.X(view, run.after.time)), run.after.value);
            else if (have && t.steps)
                c.Line(px, py, a.right, py);
            if (r > 0 && run.start >= view.from && run.start <= view.to) {
                // Time went back here: the run starts again from an earlier time.
                const double x = a.X(view, run.start);
                c.SetColor(kBackstep);
                c.SetDashed(true);
                c.Line(x, a.top, x, a.bottom);
                c.SetDashed(false);
                c.SetColor(t.color);
            }
        }
        c.SetLineWidth(1);
    }
    c.Unclip();

    // The cursor and each trace's value at it.
    if (view.cursor >= view.from && view.cursor <= view.to) {
        const double x = a.X(view, view.cursor);
        c.SetColor(kCursor);
        c.SetDashed(true);
        c.Line(x, a.top, x, a.bottom);
        c.SetDashed(false);
        double ty = a.top + c.TextHeight() + 2;
        for (const PlotTrace& t : traces) {
            if (!t.visible || !t.trace) continue;
            const size_t at = t.trace->AtOrBefore(view.cursor);
            if (at == SIZE_MAX) continue;
            c.SetColor(t.color);
            const bool right = x < (a.left + a.right) / 2;
            c.Text(right ? x + 4 : x - 4, ty, ValueText(t.trace->Point(at).value),
                   right ? PlotCanvas::Align::kLeft : PlotCanvas::Align::kRight);
            ty += c.TextHeight() + 2;
        }
    }

    // The legend, top right: colour, label, unit.
    double ly = a.top + c.TextHeight() + 4;
    for (const PlotTrace& t : traces) {
        const std::string text =
            t.label + (t.unit.empty() ? "" : " [" + t.unit + "]") + (t.visible ? "" : " (hidden)");
        const double w = c.TextWidth(text);
        c.SetColor(kBackground);
        c.FillRect(a.right - w - 30, ly - c.TextHeight(), w + 26, c.TextHeight() + 4);
        c.SetColor(t.color);
        c.FillRect(a.right - w - 26, ly - c.TextHeight() / 2 - 2, 14, 4);
        c.SetColor(kAxis);
        c.Text(a.right - 6, ly, text, PlotCanvas::Align::kRight);
        ly += c.TextHeight() + 4;
    }
}
