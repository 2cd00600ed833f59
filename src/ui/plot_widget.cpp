#include "ui/plot_widget.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ui/fltk_plot_canvas.h"

namespace {

constexpr int kMinBandHeight = 8;             // pixels
constexpr int64_t kMinSpan = 10;              // microseconds: the deepest zoom
constexpr int64_t kLimit = int64_t{1} << 50;  // microseconds: the widest range's ends
constexpr int64_t kLonePointSpan = 1000000;   // shown around a single point
constexpr double kWheelStep = 1.25;           // zoom factor of one wheel notch
constexpr int kClickSlop = 3;                 // pixels a click may move
// A range that ends short of the newest time by less than its span over this follows it.
constexpr int64_t kFollowShare = 50;
constexpr PlotColor kBand{90, 90, 90};

}  // namespace

PlotWidget::PlotWidget(int x, int y, int w, int h, Source& source)
    : Fl_Widget(x, y, w, h), source(source) {}

PlotView PlotWidget::Drawn() const {
    PlotView v = view;
    v.width = w();
    v.height = h();
    v.cursor = pointerTime >= 0 ? pointerTime : shownTime;
    return v;
}

void PlotWidget::draw() {
    std::vector<PlotTrace> traces;
    const PlotView v = Drawn();
    fl_push_clip(x(), y(), w(), h());
    {
        FltkPlotCanvas canvas(x(), y(), w(), h());
        auto hold = source.Hold();
        source.Traces(&traces);
        PaintPlot(canvas, traces, v);
        if (banding && moved) {
            const PlotArea a = PlotArea::Of(v);
            canvas.SetColor(kBand);
            canvas.SetDashed(true);
            const double left = std::max<double>(std::min(pressX, dragX), a.left);
            const double right = std::min<double>(std::max(pressX, dragX), a.right);
            // The values marked too, once the band is a few pixels high.
            double top = a.top, bottom = a.bottom;
            if (std::abs(dragY - pressY) >= kMinBandHeight) {
                top = std::max<double>(std::min(pressY, dragY), a.top);
                bottom = std::min<double>(std::max(pressY, dragY), a.bottom);
            }
            canvas.StrokeRect(left, top, std::max(0.0, right - left), bottom - top);
        }
    }
    fl_pop_clip();
}

bool PlotWidget::Extent(const std::vector<PlotTrace>& traces, int64_t* from, int64_t* to) {
    if (!TracesExtent(traces, from, to)) return false;
    *to = std::max(*to, source.Newest());
    return true;
}

void PlotWidget::Update() {
    // Not under a drag, which moves the range itself.
    if (mode == Range::kFixed || pressed) return;
    int64_t from, to;
    {
        std::vector<PlotTrace> traces;
        auto hold = source.Hold();
        source.Traces(&traces);
        if (!Extent(traces, &from, &to)) return;
    }
    if (mode == Range::kAll) {
        if (to - from < kMinSpan) {
            from -= kLonePointSpan / 2;
            to += kLonePointSpan / 2;
        }
        view.from = from;
        view.to = to;
    } else {
        view.from += to - followed;
        view.to += to - followed;
    }
    followed = to;
    redraw();
}

void PlotWidget::ShowAll() {
    mode = Range::kAll;
    Update();
    redraw();
}

void PlotWidget::ShowRange(int64_t from, int64_t to) {
    if (to - from < kMinSpan) {
        const int64_t middle = from + (to - from) / 2;
        from = middle - kMinSpan / 2;
        to = from + kMinSpan;
    }
    view.from = std::max(from, -kLimit);
    view.to = std::min(to, kLimit);
    int64_t first = 0, last = 0;
    std::vector<PlotTrace> traces;
    auto hold = source.Hold();
    source.Traces(&traces);
    // At the end, or a few pixels short of it, it follows: the end where the range last moved
    // with it, when it did, as newer points may have come in since.
    const bool any = Extent(traces, &first, &last);
    const int64_t newest = mode == Range::kFixed ? last : followed;
    const bool end = any && view.to >= newest - (view.to - view.from) / kFollowShare;
    mode = end ? Range::kFollow : Range::kFixed;
    followed = end ? newest : last;
    redraw();
}

void PlotWidget::Zoom(double factor, int64_t around) {
    const double from =
        static_cast<double>(around) - static_cast<double>(around - view.from) * factor;
    const double to = static_cast<double>(around) + static_cast<double>(view.to - around) * factor;
    const double limit = static_cast<double>(kLimit);
    ShowRange(std::llround(std::max(from, -limit)), std::llround(std::min(to, limit)));
}

void PlotWidget::ShowTime(int64_t time) {
    shownTime = time;
    if (time >= 0 && (time < view.from || time > view.to)) {
        const int64_t span = view.to - view.from;
        ShowRange(time - span / 2, time - span / 2 + span);
    }
    redraw();
}

void PlotWidget::SetAxisTrace(int i) {
    view.axisTrace = i;
    redraw();
}

void PlotWidget::Reset() {
    view.from = 0;
    view.to = 1000000;
    mode = Range::kAll;
    pointerTime = shownTime = -1;
    pressed = banding = false;
    Update();
    redraw();
}

int PlotWidget::LegendRow(int ex, int ey, const std::vector<PlotTrace>& traces) {
    // Where PaintPlot puts the legend: a row a trace at the plot area's top right.
    const PlotArea a = Area();
    fl_font(FL_HELVETICA, FltkPlotCanvas::kFontSize);
    const double height = fl_height() - fl_descent();
    double baseline = a.top + height + 4;
    for (size_t i = 0; i < traces.size(); i++, baseline += height + 4) {
        const PlotTrace& t = traces[i];
        const std::string text =
            t.label + (t.unit.empty() ? "" : " [" + t.unit + "]") + (t.visible ? "" : " (hidden)");
        const double width = fl_width(text.c_str());
        if (ex >= a.right - width - 30 && ex <= a.right && ey >= baseline - height &&
            ey <= baseline + 4)
            return static_cast<int>(i);
    }
    return -1;
}

void PlotWidget::Dragged(int ex, int ey) {
    dragX = ex;
    dragY = ey;
    if (std::abs(ex - pressX) > kClickSlop || std::abs(ey - pressY) > kClickSlop) moved = true;
    if (!moved || banding) return;
    const PlotArea a = Area();
    const double shift = static_cast<double>(ex - pressX) / (a.right - a.left) *
                         static_cast<double>(pressTo - pressFrom);
    const int64_t by = std::llround(shift);
    ShowRange(pressFrom - by, pressTo - by);
}

void PlotWidget::Moved() {
    const PlotArea a = Area();
    const int ex = Fl::event_x() - x(), ey = Fl::event_y() - y();
    const bool inside = ex >= a.left && ex <= a.right && ey >= a.top && ey <= a.bottom;
    pointerTime = inside ? a.Time(Drawn(), ex) : -1;
    redraw();
}

int PlotWidget::handle(int event) {
    const int ex = Fl::event_x() - x(), ey = Fl::event_y() - y();
    const PlotArea a = Area();
    switch (event) {
        case FL_FOCUS:
        case FL_UNFOCUS:
            return 1;
        case FL_LEAVE:
            pointerTime = -1;
            redraw();
            return 1;
        case FL_ENTER:  // the first motion over the widget
        case FL_MOVE:
            Moved();
            return 1;
        case FL_MOUSEWHEEL:
            if (Fl::event_dy() == 0) return 0;
            Zoom(std::pow(kWheelStep, Fl::event_dy()),
                 a.Time(Drawn(), std::max(a.left, std::min<double>(ex, a.right))));
            Moved();
            return 1;
        case FL_PUSH:
            if (Fl::visible_focus()) take_focus();
            pressed = true;
            moved = false;
            pressX = dragX = ex;
            pressY = dragY = ey;
            pressFrom = view.from;
            pressTo = view.to;
            banding = Fl::event_button() == FL_RIGHT_MOUSE || (Fl::event_state() & FL_SHIFT);
            return 1;
        case FL_DRAG:
            if (!pressed) return 0;
            Dragged(ex, ey);
            Moved();
            return 1;
        case FL_RELEASE:
            if (!pressed) return 0;
            // Where it ends, also when no drag event came (X merges motion into the release).
            Dragged(ex, ey);
            pressed = false;
            if (banding) {
                banding = false;
                if (moved) {
                    const PlotView v = Drawn();
                    const double left = std::max<double>(std::min(pressX, ex), a.left);
                    const double right = std::min<double>(std::max(pressX, ex), a.right);
                    // A band of a few pixels' height marks times only.
                    const double height = a.bottom - a.top;
                    if (std::abs(ey - pressY) >= kMinBandHeight && onBand) {
                        auto share = [&](int y) {
                            return std::max(0.0, std::min(1.0, (a.bottom - y) / height));
                        };
                        onBand(share(std::max(pressY, ey)), share(std::min(pressY, ey)));
                    }
                    ShowRange(a.Time(v, left), a.Time(v, right));
                }
                redraw();
            }
            if (!moved && Fl::event_button() == FL_LEFT_MOUSE) {
                int row;
                {
                    std::vector<PlotTrace> traces;
                    auto hold = source.Hold();
                    source.Traces(&traces);
                    row = LegendRow(ex, ey, traces);
                }
                if (row >= 0) {
                    if (onChoose) onChoose(row);
                } else if (ex >= a.left && ex <= a.right && ey >= a.top && ey <= a.bottom) {
                    if (onPick) onPick(a.Time(Drawn(), ex));
                }
            }
            return 1;
        case FL_KEYBOARD:
            if (Fl::event_key() != FL_Home) return 0;
            if (onHome) onHome();
            ShowAll();
            return 1;
        default:
            return Fl_Widget::handle(event);
    }
}
