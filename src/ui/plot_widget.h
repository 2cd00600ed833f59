#pragma once

#include <FL/Fl_Widget.H>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "plot/plot_painter.h"

// The plot of a window: draws traces with PaintPlot and moves over them by mouse and keys.
//
//   wheel                          zooms the time axis around the pointer
//   drag                           pans the time axis
//   Shift+drag, right-drag         zooms to the rectangle marked: its times, and (onBand) the
//                                  values of each trace within its height
//   Home                           shows every point (the range then grows with new points);
//                                  onHome gives the traces their own scales back
//   click                          picks the time (onPick); on a legend row, that trace (onChoose)
//
// A cursor line follows the pointer with each trace's value; away from the plot it stands at
// the time last given by ShowTime. GUI thread only.
class PlotWidget : public Fl_Widget {
  public:
    // What the widget draws, read while Hold's lock is held.
    class Source {
      public:
        virtual std::unique_lock<std::mutex> Hold() = 0;
        // The traces as they are now (lock held).
        virtual void Traces(std::vector<PlotTrace>* traces) = 0;
        // The time of the newest frame taken in, which the range follows too; -1 for none (lock
        // held).
        virtual int64_t Newest() = 0;

      protected:
        ~Source() = default;
    };
    // How the time range moves as points come in: showing them all, moving with the newest, or
    // where the user put it.
    enum class Range : uint8_t { kAll, kFollow, kFixed };

    PlotWidget(int x, int y, int w, int h, Source& source);

    void draw() override;
    int handle(int event) override;

    // Moves the range as Range says after new points came in (the window's timer).
    void Update();
    // Every point, and the range growing with them (Home).
    void ShowAll();
    // The time range from..to, then following the newest points when it reaches them.
    void ShowRange(int64_t from, int64_t to);
    // Zooms by factor (above 1: out) keeping time around where it is.
    void Zoom(double factor, int64_t around);
    // Puts the cursor at time, -1 none, and the range over it when it lies outside.
    void ShowTime(int64_t time);
    // The trace whose scale the value axis shows.
    void SetAxisTrace(int i);
    // Forgets the range and the cursor (the traces were started again).
    void Reset();

    const PlotView& View() const { return view; }
    Range Mode() const { return mode; }
    // The view as drawn at the widget's size, with the cursor where it is drawn.
    PlotView Drawn() const;

    // A click in the plot at a time; a click on trace i's legend row.
    std::function<void(int64_t time)> onPick;
    std::function<void(int trace)> onChoose;
    // A rubber band marked values from low to high, as shares of the plot area's height (0 its
    // bottom, 1 its top), before the time range changes; Home pressed.
    std::function<void(double low, double high)> onBand;
    std::function<void()> onHome;

  private:
    // Every visible trace's time range, reaching the newest frame; false when there is none
    // (lock held).
    bool Extent(const std::vector<PlotTrace>& traces, int64_t* from, int64_t* to);
    // The legend row at the pointer, or -1.
    int LegendRow(int ex, int ey, const std::vector<PlotTrace>& traces);
    // The pointer moved to (ex, ey) with a button down: pans, or stretches the rubber band.
    void Dragged(int ex, int ey);
    // The pointer moved: the cursor follows it over the plot area.
    void Moved();
    PlotArea Area() const { return PlotArea::Of(Drawn()); }

    Source& source;
    PlotView view;
    Range mode = Range::kAll;
    int64_t followed = 0;      // the newest time when the range last moved with it (kFollow)
    int64_t pointerTime = -1;  // the cursor while the pointer is over the plot
    int64_t shownTime = -1;    // ShowTime's
    // A drag: where it started, and the range then; banding: a rubber band.
    int pressX = 0, pressY = 0, dragX = 0, dragY = 0;
    int64_t pressFrom = 0, pressTo = 0;
    bool pressed = false, moved = false, banding = false;
};
