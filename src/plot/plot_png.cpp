#include "plot/plot_png.h"

#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// A Cairo context as a plot's canvas.
class CairoCanvas : public PlotCanvas {
  public:
    explicit CairoCanvas(cairo_t* cr) : cr(cr) {
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 12);
    }
    void SetColor(PlotColor c) override {
        cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
    }
    void SetLineWidth(double width) override { cairo_set_line_width(cr, width); }
    void SetDashed(bool dashed) override {
        static const double kDash[] = {4, 3};
        cairo_set_dash(cr, kDash, dashed ? 2 : 0, 0);
    }
    void Line(double x0, double y0, double x1, double y1) override {
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
        cairo_stroke(cr);
    }
    void FillRect(double x, double y, double w, double h) override {
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
    }
    void StrokeRect(double x, double y, double w, double h) override {
        cairo_rectangle(cr, x + 0.5, y + 0.5, w, h);
        cairo_stroke(cr);
    }
    void Text(double x, double y, const std::string& text, Align align) override {
        const double w = TextWidth(text);
        cairo_move_to(cr,
                      align == Align::kLeft     ? x
                      : align == Align::kCenter ? x - w / 2
                                                : x - w,
                      y);
        cairo_show_text(cr, text.c_str());
    }
    double TextWidth(const std::string& text) override {
        cairo_text_extents_t e;
        cairo_text_extents(cr, text.c_str(), &e);
        return e.x_advance;
    }
    double TextHeight() override {
        cairo_font_extents_t e;
        cairo_font_extents(cr, &e);
        return e.ascent;
    }
    void Clip(double x, double y, double w, double h) override {
        cairo_save(cr);
        cairo_rectangle(cr, x, y, w, h);
        cairo_clip(cr);
    }
    void Unclip() override { cairo_restore(cr); }

  private:
    cairo_t* cr;
};

}  // namespace

bool WritePlotPng(const std::string& path, const std::vector<PlotTrace>& traces,
                  const PlotView& view, std::string* error) {
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, view.width, view.height),
        cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        *error = cairo_status_to_string(cairo_surface_status(surface.get()));
        return false;
    }
    {
        std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()),
                                                              cairo_destroy);
        CairoCanvas canvas(cr.get());
        PaintPlot(canvas, traces, view);
    }
    cairo_surface_flush(surface.get());
    // Written through stdio, so that a failure says what the system said.
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    int writeError = 0;
    struct Sink {
        FILE* file;
        int* error;
    } sink{file.get(), &writeError};
    const cairo_status_t status = cairo_surface_write_to_png_stream(
        surface.get(),
        [](void* closure, const unsigned char* data, unsigned int length) {
            auto* s = static_cast<Sink*>(closure);
            if (std::fwrite(data, 1, length, s->file) == length) return CAIRO_STATUS_SUCCESS;
            *s->error = errno;
            return CAIRO_STATUS_WRITE_ERROR;
        },
        &sink);
    if (std::fflush(file.get()) != 0 && !writeError) writeError = errno;
    if (writeError || status != CAIRO_STATUS_SUCCESS) {
        *error = writeError ? std::strerror(writeError) : cairo_status_to_string(status);
        return false;
    }
    return true;
}
