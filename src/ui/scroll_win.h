#pragma once

#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Widget.H>

// A drawing area for content of any size, with a vertical and a horizontal scrollbar that show
// when the content does not fit. The scrollbars are made with the widget while its group is the
// current one, so they are the group's children too and get their mouse events from it; a
// subclass's handle returns 0 for mouse events outside the content to let them through. Like
// any FLTK widget it belongs to its group, which deletes it: it comes before its scrollbars in
// the group, and the group deletes its children first to last, so the member scrollbars leave
// the group with the area before the group would delete them.
class ScrollWin : public Fl_Widget {
  public:
    ScrollWin(int x, int y, int w, int h);

    void draw() override;
    // Draws the content rectangle (x, y, w, h), already clipped, scrolled by xoff and yoff.
    virtual void draw_content(int x, int y, int w, int h, int xoff, int yoff) = 0;
    virtual void content_size(int& w, int& h) = 0;
    // After the user scrolled.
    virtual void OffsetsChanged() {}

    int xoff = 0;
    int yoff = 0;
    int yStep = 1;  // yoff stays a multiple of it
    Fl_Scrollbar vscroll;
    Fl_Scrollbar hscroll;

  protected:
    // The content rectangle: the inner box less the shown scrollbars.
    int ContentWidth() const;
    int ContentHeight() const;
};

// The scrollbars' callback: takes their values as the offsets.
void _scrollwin_cb(Fl_Widget*, void* scrollWin);
