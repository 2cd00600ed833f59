#include "ui/waveform_disp.h"

#include <FL/Fl.H>
#include <FL/Fl_Tooltip.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdio>

#include "base/utils.h"
#include "hw/bus_analysis.h"

namespace {

constexpr int kTraceWidth = 3;
constexpr int kEdgeReach = 3;  // pixels either side of an edge that show its tooltip
const Fl_Color kLevelColors[] = {FL_WHITE, FL_YELLOW, FL_RED};

Fl_Color ReceiveColor() {
    return fl_rgb_color(60, 160, 255);
}

// A trace that falls at xFall and rises at xRise between the levels, from left to right.
void Trace(int left, int right, int xFall, int xRise, int yHigh, int yLow) {
    fl_begin_line();
    fl_vertex(left, yHigh);
    fl_vertex(xFall, yHigh);
    fl_vertex(xFall, yLow);
    fl_vertex(xRise, yLow);
    fl_vertex(xRise, yHigh);
    fl_vertex(right, yHigh);
    fl_end_line();
}

}  // namespace

WaveformDisp::WaveformDisp(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {
    box(FL_DOWN_BOX);
    color(FL_BLACK);
    // An empty tooltip makes FLTK's tooltip machinery follow the pointer over the widget.
    tooltip("");
}

void WaveformDisp::Update(const CanBusStats& s, bool high, bool low) {
    stats = s;
    stuckHigh = high;
    stuckLow = low;
    noData = false;
    redraw();
}

int WaveformDisp::handle(int event) {
    switch (event) {
        case FL_ENTER:
            Fl_Tooltip::delay(0.2f);
            return 1;
        case FL_LEAVE:
            Fl_Tooltip::delay(1.0f);
            return 1;
        case FL_MOVE: {
            shownTip = tipText(Fl::event_x(), Fl::event_y());
            Fl_Tooltip::enter_area(this, Fl::event_x(), Fl::event_y(), 0, 10, shownTip.c_str());
            return 1;
        }
        default:
            return Fl_Widget::handle(event);
    }
}

std::string WaveformDisp::tipText(int px, int py) const {
    for (const TipInfo& area : areas)
        if (area.Match(px, py)) return area.tip;
    return "";
}

void WaveformDisp::EdgeArea(Area area, int x, int yTop, int yBottom, const char* tip) {
    if (x < 0) {
        areas[area] = TipInfo{-100000, -100000, 0, 0, ""};
        return;
    }
    areas[area] = TipInfo{x - kEdgeReach, yBottom, 2 * kEdgeReach, yBottom - yTop, tip};
}

void WaveformDisp::Label(Area area, const char* text, int cx, int y, const char* tip) {
    const int width = static_cast<int>(fl_width(text));
    fl_draw(text, cx - width / 2, y);
    areas[area] = TipInfo{cx - width / 2, y + fl_descent(), width, fl_height(), tip};
}

void WaveformDisp::draw() {
    draw_box();
    const int X = x(), Y = y(), w = this->w(), h = this->h();
    fl_push_clip(X, Y, w, h);
    fl_font(FL_HELVETICA, Round(h / 30.0));
    const int lw = Round(0.999 + std::max(fl_width("R"), fl_width("D")));
    const int x0 = Round(X + 2.5 * lw);
    const int y0 = Round(Y + 0.03 * h);
    const int W = Round(0.95 * w - x0);
    const int H = Round(0.75 * h - y0);
    const int yR = Round(y0 + 0.1 * H);
    const int yD = Round(y0 + 0.9 * H);
    const int xS = Round(x0 + 0.05 * W);
    const int xE = Round(x0 + 0.6 * W);
    const double bitTime = noData ? idleBitTime : stats.bitTime;
    const double samplePoint = noData ? 0.8 : stats.samplePoint;
    const double k = (xE - xS) / bitTime;
    const int xP = Round(xS + k * bitTime * samplePoint);

    fl_color(FL_WHITE);
    fl_line_style(FL_SOLID, 1);
    fl_rect(x0, y0, W, H);
    const int centre = fl_height() / 2 - fl_descent();
    Label(kRecessive, "R", x0 - Round(1.25 * lw), yR + centre, "Recessive bit level");
    Label(kDominant, "D", x0 - Round(1.25 * lw), yD + centre, "Dominate bit level");
    fl_font(FL_HELVETICA, Round(h / 35.0));
    const int under = y0 + H + fl_height();
    Label(kStart, "0", xS, under, "Start of bit time");
    Label(kSampleLabel, "Samp", xP, under, "Sampling point");
    char bitLabel[32];
    std::snprintf(bitLabel, sizeof bitLabel, "%d ns", Round(bitTime));
    Label(kEnd, bitLabel, xE, under, "End of bit time");
    fl_line_style(FL_DASH, 1);
    fl_line(xP, y0, xP, y0 + H);
    areas[kSampleLine] = TipInfo{xP - 1, y0 + H, 2, H, "Sampling point"};

    for (Area edge : {kTxFall, kTxRise, kRxFall, kRxRise, kAckFall, kAckRise})
        EdgeArea(edge, -1, 0, 0, "");
    if (!noData) {
        fl_line_style(FL_SOLID, kTraceWidth);
        fl_color(FL_YELLOW);
        Trace(x0, x0 + W, xS, xE, yR, yD);
        EdgeArea(kTxFall, xS, yR, yD, "Transmit falling edge");
        EdgeArea(kTxRise, xE, yR, yD, "Transmit rising edge");

        fl_color(ReceiveColor());
        if (stuckHigh || stuckLow) {
            const int level = (stuckHigh ? yR : yD) + 3;
            fl_line(x0, level, x0 + W, level);
        } else {
            const int xf = Round(xS + k * stats.rxFall);
            const int xr = Round(xE + k * stats.rxRise);
            Trace(x0, x0 + W, xf, xr, yR + 3, yD + 3);
            std::snprintf(tipTexts[0], sizeof tipTexts[0],
                          "Receive falling edge\n%dns after transmit edge", Round(stats.rxFall));
            std::snprintf(tipTexts[1], sizeof tipTexts[1],
                          "Receive rising edge\n%dns after transmit edge", Round(stats.rxRise));
            EdgeArea(kRxFall, xf, yR + 3, yD + 3, tipTexts[0]);
            EdgeArea(kRxRise, xr, yR + 3, yD + 3, tipTexts[1]);
        }

        fl_color(FL_GREEN);
        if (stats.ackRiseSpan == 0) {
            fl_line(x0, yR + 6, x0 + W, yR + 6);
        } else {
            const double a = stats.ackFallPos - stats.bitTime;
            const double b = stats.ackFallPos + stats.ackRiseSpan - 2 * stats.bitTime;
            const int xa = Round(xS + k * a);
            const int xb = Round(xE + k * b);
            Trace(x0, x0 + W, xa, xb, yR + 6, yD + 6);
            std::snprintf(tipTexts[2], sizeof tipTexts[2],
                          "ACK falling edge\n%dns after transmit edge", Round(a));
            std::snprintf(tipTexts[3], sizeof tipTexts[3],
                          "ACK rising edge\n%dns after transmit edge", Round(b));
            EdgeArea(kAckFall, xa, yR + 6, yD + 6, tipTexts[2]);
            EdgeArea(kAckRise, xb, yR + 6, yD + 6, tipTexts[3]);
        }
    }
    fl_line_style(0);

    // The legend and the figures take the widget's size as their coordinates.
    fl_font(FL_HELVETICA, Round(h / 30.0));
    const int line = fl_height();
    const int legend = w - static_cast<int>(std::max(fl_width("Receive"), fl_width("Transmit")));
    fl_color(FL_YELLOW);
    fl_draw("Transmit", legend, h - 3 * line);
    fl_color(ReceiveColor());
    fl_draw("Receive", legend, h - 2 * line);
    fl_color(FL_GREEN);
    fl_draw("ACK", legend, h - line);
    if (!noData) {
        int baseline = Round(h - 3.5 * line);
        for (const ResultLine& result : ResultLines(stats, stuckHigh, stuckLow)) {
            fl_color(kLevelColors[result.level]);
            fl_draw(result.text.c_str(), x0, baseline);
            baseline += line;
        }
    }
    fl_pop_clip();
}
