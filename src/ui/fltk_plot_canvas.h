#pragma once

#include "plot/plot_canvas.h"

// A plot's canvas in a widget being drawn (inside its draw()): FLTK's drawing calls, coordinates
// from the widget's top left at (x, y), the font FL_HELVETICA. Lines are clipped to the widget
// before they reach the X server, whose coordinates are 16 bits.
class FltkPlotCanvas : public PlotCanvas {
  public:
    static constexpr int kFontSize = 12;

    FltkPlotCanvas(int x, int y, int w, int h);
    // Back to FLTK's default line style.
    ~FltkPlotCanvas();
    FltkPlotCanvas(const FltkPlotCanvas&) = delete;
    FltkPlotCanvas& operator=(const FltkPlotCanvas&) = delete;

    void SetColor(PlotColor color) override;
    void SetLineWidth(double width) override;
    void SetDashed(bool dashed) override;
    void Line(double x0, double y0, double x1, double y1) override;
    void FillRect(double x, double y, double w, double h) override;
    void StrokeRect(double x, double y, double w, double h) override;
    void Text(double x, double y, const std::string& text, Align align) override;
    double TextWidth(const std::string& text) override;
    double TextHeight() override;
    void Clip(double x, double y, double w, double h) override;
    void Unclip() override;

  private:
    void ApplyStyle();

    int x0, y0, width, height;
    int lineWidth = 1;
    bool dashed = false;
};
