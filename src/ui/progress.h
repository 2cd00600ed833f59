#pragma once

#include <FL/Fl_Progress.H>
#include <FL/Fl_Window.H>

#include <memory>

#include "base/progress.h"

// A small window with a progress bar.
class MyProg : public Progress {
  public:
    MyProg(const char* title, int x, int y, int w, int h);
    // Hides the window.
    ~MyProg() override;
    void SetMax(float max) override;
    void Update(float value, const char* text) override;

    std::unique_ptr<Fl_Window> window;
    Fl_Progress* bar;  // a child of window
};

// Opens a progress window at x, y; w 0 makes it 320 wide, h 0 45 high.
std::unique_ptr<Progress> NewProgress(const char* title, int x, int y, int w, int h);
