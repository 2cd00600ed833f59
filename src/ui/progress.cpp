#include "ui/progress.h"

#include <FL/Fl.H>

MyProg::MyProg(const char* title, int x, int y, int w, int h) {
    window = x == 0 && y == 0 ? std::make_unique<Fl_Window>(w, h)
                              : std::make_unique<Fl_Window>(x, y, w, h);
    window->copy_label(title);
    bar = new Fl_Progress(10, 10, w - 20, h - 20);
    bar->minimum(0);
    bar->maximum(1.0f);
    bar->color(fl_rgb_color(0x88, 0x88, 0x88));
    bar->selection_color(fl_rgb_color(0x44, 0x44, 0xFF));
    bar->labelcolor(FL_WHITE);
    window->end();
    window->show();
}

MyProg::~MyProg() {
    window->hide();
}

void MyProg::SetMax(float max) {
    bar->maximum(max);
    bar->redraw();
}

void MyProg::Update(float value, const char* text) {
    bar->value(value);
    bar->redraw();
    if (text) window->copy_label(text);
    Fl::check();
}

std::unique_ptr<Progress> NewProgress(const char* title, int x, int y, int w, int h) {
    return std::make_unique<MyProg>(title, x, y, w ? w : 320, h ? h : 45);
}
