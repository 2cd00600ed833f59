#pragma once

#include <cstdint>
#include <string>

struct PlotColor {
    uint8_t r, g, b;
};

// Where a plot is drawn, in pixels from the top left: the window's widget (FLTK) or a picture in
// memory (Cairo, for PNG files).
class PlotCanvas {
  public:
    enum class Align : uint8_t { kLeft, kCenter, kRight };

    virtual void SetColor(PlotColor color) = 0;
    virtual void SetLineWidth(double width) = 0;
    virtual void SetDashed(bool dashed) = 0;
    virtual void Line(double x0, double y0, double x1, double y1) = 0;
    virtual void FillRect(double x, double y, double w, double h) = 0;
    virtual void StrokeRect(double x, double y, double w, double h) = 0;
    // Text whose baseline is at y, placed by align around x.
    virtual void Text(double x, double y, const std::string& text, Align align) = 0;
    virtual double TextWidth(const std::string& text) = 0;
    virtual double TextHeight() = 0;
    // Drawing is limited to the rectangle until Unclip.
    virtual void Clip(double x, double y, double w, double h) = 0;
    virtual void Unclip() = 0;

  protected:
    ~PlotCanvas() = default;
};
