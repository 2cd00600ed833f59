// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/msg_detail.h"

#include <FL/fl_draw.H>

namespace {

using MsgDetailTest = MsgViewsTest;

TEST_F(MsgDetailTest, HighlightScrollbarsAndOddFrames) {
    const auto ink = [&](int x, int y, int w, int h) { return InkIn(*window, x, y, w, h); };
    int w, h;
    detail->content_size(w, h);  // nothing selected: nothing drawn, no scrollbars
    EXPECT_EQ(w + h, 0);
    detail->SetSelected(42);  // not in the store
    EXPECT_TRUE(detail->selFrame == -1 && ink(2, 202, 496, 196).dark == 0);
    EXPECT_FALSE(detail->vscroll.visible() || detail->hscroll.visible());

    detail->SetSelected(Add(1, 0x123, 3));
    ASSERT_NE(detail->message, nullptr);
    EXPECT_EQ(detail->selLine, -1);
    Settle();
    detail->content_size(w, h);  // two lines fit
    EXPECT_TRUE(h == (detail->message->numLines + 2) * detail->lineHeight &&
                !detail->vscroll.visible());
    for (int key : {FL_Down, FL_Down, FL_Up}) Key(detail, key);
    EXPECT_EQ(detail->selLine, 1);  // never up onto the identifier line by key
    for (int key : {FL_Down, FL_Down, FL_Down}) Key(detail, key);
    EXPECT_EQ(detail->selLine, detail->message->numLines);  // stays on the last line
    Key(detail, FL_Up);

    // The identifier line (covering position -1) selected: the identifier in blue, the bytes
    // in black; the data line covers the bytes: now they are blue and the identifier black.
    fl_font(prefs.font, prefs.fontSize);
    const int x0 = Fl::box_dx(detail->box()) + detail->margin;
    const int idWidth = static_cast<int>(fl_width("0x123: "));
    const int bytesWidth = static_cast<int>(fl_width("0x11 0x22 0x33 "));
    const int top = detail->y() + Fl::box_dy(detail->box());
    EXPECT_GT(ink(x0, top, idWidth, detail->lineHeight).blue, 10);
    const Ink bytes = ink(x0 + idWidth, top, bytesWidth, detail->lineHeight);
    EXPECT_EQ(bytes.blue, 0);
    EXPECT_GT(bytes.dark, 10);
    Key(detail, FL_Down);
    EXPECT_EQ(ink(x0, top, idWidth, detail->lineHeight).blue, 0);
    EXPECT_GT(ink(x0 + idWidth, top, bytesWidth, detail->lineHeight).blue, 10);

    // A click on the identifier line selects line 0, which highlights nothing.
    EXPECT_EQ(Push(detail, x0 + 5, top + 2 + fl_descent()), 1);
    EXPECT_EQ(detail->selLine, 0);
    EXPECT_EQ(ink(x0, top, idWidth, detail->lineHeight).blue, 0);
    EXPECT_EQ(Push(detail, 500, top + 2 + fl_descent()), 0);  // outside: left to the scrollbars
    detail->SetSelected(Add(1, 0x124));  // a new selection resets the highlight
    EXPECT_EQ(detail->selLine, -1);

    // An extended identifier shows its 29 bits in eight digits; a length beyond 8 shows the
    // eight bytes there are; both draw within the view.
    for (int frame : {Add(1, 1u << 29 | 0x1ABCDEF, 12), Add(1, 0x701, 0, FRAME_RTR)}) {
        detail->SetSelected(frame);
        EXPECT_GT(ink(12, top, 300, detail->lineHeight).dark, 10);
    }
    // More lines than fit: a vertical scrollbar only.
    detail->SetSelected(Add(1, 0x10005, 2, FRAME_ERROR));
    window->size(900, 240);
    detail->size(900, 40);
    Settle();
    EXPECT_TRUE(detail->vscroll.visible());
    EXPECT_FALSE(detail->hscroll.visible());
}

}  // namespace
