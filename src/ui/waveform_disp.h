#pragma once

#include <FL/Fl_Widget.H>

#include <string>

#include "hw/bus_stats.h"

// A tooltip's area in the diagram: a rectangle given by its left and bottom edge.
struct TipInfo {
    int left = 0;
    int bottom = 0;
    int width = 0;
    int height = 0;
    const char* tip = "";  // not owned

    bool Match(int px, int py) const {
        return left <= px && px <= left + width && bottom - height <= py && py <= bottom;
    }
};

// The bus analyzer's diagram of one bit time: the transmit line (the reference), the receive
// line and the other nodes' ACK with their edges where the last measurement put them, and the
// figures below. Every level, label and drawn edge has a tooltip. GUI thread only.
class WaveformDisp : public Fl_Widget {
  public:
    WaveformDisp(int x, int y, int w, int h);

    // Shows a measurement and redraws.
    void Update(const CanBusStats& stats, bool stuckHigh, bool stuckLow);
    // The bit time drawn while there is no measurement yet (1000 ns at first).
    void SetIdleBitTime(double ns) { idleBitTime = ns; }
    bool HasData() const { return !noData; }

    int handle(int event) override;
    // The tooltip text at a point of the window as the last drawing laid it out; "" for none.
    std::string tipText(int x, int y) const;

  protected:
    void draw() override;

  private:
    // The tooltip areas in the order they are searched.
    enum Area {
        kDominant,
        kRecessive,
        kStart,
        kEnd,
        kSampleLabel,
        kSampleLine,
        kTxFall,
        kTxRise,
        kRxFall,
        kRxRise,
        kAckFall,
        kAckRise,
        kAreas
    };
    // A vertical edge at x between the levels yTop and yBottom, or out of reach for x < 0.
    void EdgeArea(Area area, int x, int yTop, int yBottom, const char* tip);
    // Draws text centred on cx with its baseline at y and makes its box the area.
    void Label(Area area, const char* text, int cx, int y, const char* tip);

    TipInfo areas[kAreas];
    char tipTexts[4][80] = {};  // the receive and ACK edges' tooltips, with their delays
    CanBusStats stats;
    bool stuckHigh = false;
    bool stuckLow = false;
    bool noData = true;
    double idleBitTime = 1000;
    std::string shownTip;  // the tooltip shown: FLTK keeps a pointer to it
};
