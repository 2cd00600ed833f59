#include "ui/fltk_plot_canvas.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

namespace {

// How far beyond the widget a clipped line may still reach, so that its end's cap stays off
// the widget.
constexpr double kClipMargin = 8;

int Round(double v) {
    return static_cast<int>(std::lround(v));
}

// Cuts the line (x0, y0)-(x1, y1) to the rectangle lo..hi (Liang-Barsky); false when nothing of
// it lies inside.
bool ClipLine(double& x0, double& y0, double& x1, double& y1, double loX, double loY, double hiX,
              double hiY) {
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return false;
    const double dx = x1 - x0, dy = y1 - y0;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - loX, hiX - x0, y0 - loY, hiY - y0};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    x1 = x0 + t1 * dx;
    y1 = y0 + t1 * dy;
    x0 = x0 + t0 * dx;
    y0 = y0 + t0 * dy;
    return true;
}

}  // namespace

FltkPlotCanvas::FltkPlotCanvas(int x, int y, int w, int h) : x0(x), y0(y), width(w), height(h) {
    fl_font(FL_HELVETICA, kFontSize);
    ApplyStyle();
}

FltkPlotCanvas::~FltkPlotCanvas() {
    fl_line_style(0);
}

void FltkPlotCanvas::ApplyStyle() {
    // Width 1 is X's fast thin line.
    fl_line_style(dashed ? FL_DASH : FL_SOLID, lineWidth > 1 ? lineWidth : 0);
}

void FltkPlotCanvas::SetColor(PlotColor c) {
    fl_color(c.r, c.g, c.b);
}

void FltkPlotCanvas::SetLineWidth(double w) {
    lineWidth = std::max(1, Round(w));
    ApplyStyle();
}

void FltkPlotCanvas::SetDashed(bool on) {
    dashed = on;
    ApplyStyle();
}

void FltkPlotCanvas::Line(double ax, double ay, double bx, double by) {
    if (!ClipLine(ax, ay, bx, by, -kClipMargin, -kClipMargin, width + kClipMargin,
                  height + kClipMargin))
        return;
    fl_line(x0 + Round(ax), y0 + Round(ay), x0 + Round(bx), y0 + Round(by));
}

void FltkPlotCanvas::FillRect(double x, double y, double w, double h) {
    fl_rectf(x0 + Round(x), y0 + Round(y), Round(w), Round(h));
}

void FltkPlotCanvas::StrokeRect(double x, double y, double w, double h) {
    fl_rect(x0 + Round(x), y0 + Round(y), Round(w) + 1, Round(h) + 1);
}

void FltkPlotCanvas::Text(double x, double y, const std::string& text, Align align) {
    const double w = TextWidth(text);
    const double left = align == Align::kLeft ? x : align == Align::kCenter ? x - w / 2 : x - w;
    fl_draw(text.c_str(), static_cast<int>(text.size()), x0 + Round(left), y0 + Round(y));
}

double FltkPlotCanvas::TextWidth(const std::string& text) {
    return fl_width(text.c_str(), static_cast<int>(text.size()));
}

double FltkPlotCanvas::TextHeight() {
    return fl_height() - fl_descent();
}

void FltkPlotCanvas::Clip(double x, double y, double w, double h) {
    fl_push_clip(x0 + Round(x), y0 + Round(y), Round(w), Round(h));
}

void FltkPlotCanvas::Unclip() {
    fl_pop_clip();
}
