#pragma once

#include <string>
#include <vector>

#include "plot/plot_painter.h"

// Draws the traces as PaintPlot does into a picture of view's size, without a display (Cairo), and
// writes it to a PNG file; on failure says why in error and returns false.
bool WritePlotPng(const std::string& path, const std::vector<PlotTrace>& traces,
                  const PlotView& view, std::string* error);
