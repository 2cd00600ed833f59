#include "plot/plot_png.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "plot/trace.h"
#include "support/test_support.h"

namespace {

// The picture as pixels 0xRRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const {
        return pixels[static_cast<size_t>(y * width + x)] & 0xFFFFFF;
    }
};

Picture Read(const std::string& path) {
    Picture p;
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> s(
        cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy);
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) return p;
    p.width = cairo_image_surface_get_width(s.get());
    p.height = cairo_image_surface_get_height(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    const unsigned char* data = cairo_image_surface_get_data(s.get());
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            p.pixels.push_back(reinterpret_cast<const uint32_t*>(data + y * stride)[x]);
    return p;
}

// A ramp from 0 to 100 over ten seconds and a value that steps between 0 and 1 each second, drawn
// into a PNG file: the ramp's colour lies where the ramp runs, the step's on its levels, the
// background between; and the plot area's pixels hash to what they did when the picture was
// checked by eye.
TEST(PlotPngTest, DrawsAKnownPlot) {
    Trace ramp, step;
    for (int i = 0; i <= 1000; i++) ramp.Add(i * 10000, i / 10.0);
    for (int s = 0; s <= 10; s++) step.Add(s * 1000000, s % 2);
    std::vector<PlotTrace> traces(2);
    traces[0].trace = &ramp;
    traces[0].label = "ramp";
    traces[0].color = TraceColor(0);
    traces[1].trace = &step;
    traces[1].label = "step";
    traces[1].color = TraceColor(1);
    traces[1].steps = true;
    PlotView view;
    view.width = 600;
    view.height = 300;
    ASSERT_TRUE(TracesExtent(traces, &view.from, &view.to));
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WritePlotPng(dir.file("plot.png"), traces, view, &error)) << error;
    const Picture p = Read(dir.file("plot.png"));
    ASSERT_EQ(p.width, 600);
    ASSERT_EQ(p.height, 300);

    const PlotArea a = PlotArea::Of(view);
    auto rgb = [](PlotColor c) { return uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b; };
    // Within a pixel or two of where a value lies (the scale is the values' range widened by
    // 5 %), a pixel inked at least half-way from white to the colour (lines are antialiased).
    auto near = [&](int64_t time, double value, double lo, double hi, uint32_t colour) {
        const int x = static_cast<int>(std::lround(a.X(view, time)));
        const double y = a.bottom - (value - lo) / (hi - lo) * (a.bottom - a.top);
        for (int dy = -2; dy <= 2; dy++) {
            const uint32_t pixel = p.At(x, static_cast<int>(std::lround(y)) + dy);
            bool inked = true;
            for (int shift : {16, 8, 0}) {
                const double want = 255 - ((colour >> shift) & 0xFF);
                const double got = 255 - ((pixel >> shift) & 0xFF);
                inked = inked && got >= want * 0.5 && got <= want * 1.1 + 2;
            }
            if (inked) return true;
        }
        return false;
    };
    for (int64_t t : {1500000, 4500000, 6500000})
        EXPECT_TRUE(near(t, t / 100000.0, -5, 105, rgb(traces[0].color))) << t;
    EXPECT_TRUE(near(1500000, 1, -0.05, 1.05, rgb(traces[1].color)));
    EXPECT_TRUE(near(2500000, 0, -0.05, 1.05, rgb(traces[1].color)));
    // Half-way between the levels, away from the rises and the ramp: background.
    const int x = static_cast<int>(a.X(view, 1500000));
    const int y = static_cast<int>((a.top + a.bottom) / 2);
    EXPECT_EQ(p.At(x, y), 0xFFFFFFu);

    uint64_t hash = 1469598103934665603ull;  // FNV-1a over the area below the legend
    for (int yy = static_cast<int>(a.top) + 60; yy < static_cast<int>(a.bottom); yy++)
        for (int xx = static_cast<int>(a.left) + 1; xx < static_cast<int>(a.right); xx++)
            hash = (hash ^ p.At(xx, yy)) * 1099511628211ull;
    EXPECT_EQ(hash, 8623044227297909278ull);
}

}  // namespace
