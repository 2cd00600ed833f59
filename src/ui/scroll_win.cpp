#include "ui/scroll_win.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

ScrollWin::ScrollWin(int x, int y, int w, int h)
    : Fl_Widget(x, y, w, h), vscroll(x, y, 1, 1), hscroll(x, y, 1, 1) {
    hscroll.type(FL_HORIZONTAL);
    vscroll.hide();
    hscroll.hide();
    vscroll.callback(_scrollwin_cb, this);
    hscroll.callback(_scrollwin_cb, this);
    box(FL_DOWN_BOX);
    color(FL_WHITE);
}

int ScrollWin::ContentWidth() const {
    return w() - Fl::box_dw(box()) - (vscroll.visible() ? vscroll.w() : 0);
}

int ScrollWin::ContentHeight() const {
    return h() - Fl::box_dh(box()) - (hscroll.visible() ? hscroll.h() : 0);
}

void ScrollWin::draw() {
    const int X = x() + Fl::box_dx(box());
    const int Y = y() + Fl::box_dy(box());
    const int W = w() - Fl::box_dw(box());
    int H = h() - Fl::box_dh(box());
    draw_box(box(), color());
    int cw, ch;
    content_size(cw, ch);
    const int sb = Fl::scrollbar_size();
    bool needV = ch > H;
    int usableW = needV ? W - sb : W;
    const bool needH = cw > usableW;
    if (needH) {
        H -= sb;
        if (!needV && ch > H) {
            needV = true;
            usableW -= sb;
        }
    }
    auto drawBar = [](Fl_Scrollbar& bar) {
        bar.show();
        bar.damage(FL_DAMAGE_ALL);
        static_cast<Fl_Widget&>(bar).draw();
        bar.clear_damage();
    };
    if (needV) {
        vscroll.resize(X + usableW, Y, sb, H);
        vscroll.scrollvalue(yoff, H, 0, ch);
        drawBar(vscroll);
    } else {
        vscroll.hide();
        yoff = 0;
    }
    if (needH) {
        hscroll.resize(X, Y + H, usableW, sb);
        hscroll.scrollvalue(xoff, usableW, 0, cw);
        drawBar(hscroll);
    } else {
        hscroll.hide();
        xoff = 0;
    }
    fl_push_clip(X, Y, usableW, H);
    draw_content(X, Y, usableW, H, xoff, yoff);
    fl_pop_clip();
}

void _scrollwin_cb(Fl_Widget*, void* data) {
    auto* win = static_cast<ScrollWin*>(data);
    const int newX = static_cast<int>(win->hscroll.value());
    int newY = static_cast<int>(win->vscroll.value());
    if (win->yStep > 1) newY -= newY % win->yStep;
    if (newX == win->xoff && newY == win->yoff) return;
    win->xoff = newX;
    win->yoff = newY;
    win->OffsetsChanged();
    win->redraw();
}
