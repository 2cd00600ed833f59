// gtest before FLTK: X11 headers define None.
#include <gtest/gtest.h>

#include "ui/msg_detail.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <memory>

#include "session/session.h"
#include "session/settings.h"
#include "store/msg_store.h"
#include "ui/gui_support.h"

namespace {

// A shown window holding one detail view over a store decoded by the raw decoder.
class MsgDetailTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session.SetParserMode(PARSE_RAW);
        window = std::make_unique<Fl_Window>(400, 200);
        view = static_cast<MsgDetailFLTK*>(CreateMsgDetail(0, 0, 400, 200, session, prefs));
        window->end();
        window->show();
        Settle();
    }
    void TearDown() override { window.reset(); }
    int Add(uint32_t id, int length, int type = FRAME_DATA) {
        CANframe f;
        f.id = id;
        f.type = type;
        f.length = length;
        for (int i = 0; i < 8; i++) f.data[i] = static_cast<uint8_t>(0x11 * (i + 1));
        session.store().Add(f);
        return session.store().GetLast();
    }
    void Key(int key) {
        Fl::e_keysym = key;
        view->handle(FL_KEYDOWN);
    }
    Ink Read(int x, int y, int w, int h) { return InkIn(*window, x, y, w, h); }

    QL_Settings prefs;
    Session session{nullptr, nullptr, 100};
    std::unique_ptr<Fl_Window> window;  // the view, before the session goes
    MsgDetailFLTK* view = nullptr;
};

TEST_F(MsgDetailTest, HighlightScrollbarsAndOddFrames) {
    int w, h;
    view->content_size(w, h);  // nothing selected: nothing drawn, no scrollbars
    EXPECT_EQ(w + h, 0);
    view->SetSelected(42);  // not in the store
    EXPECT_TRUE(view->selFrame == -1 && Read(2, 2, 396, 196).dark == 0);
    EXPECT_FALSE(view->vscroll.visible() || view->hscroll.visible());

    view->SetSelected(Add(0x123, 3));
    ASSERT_NE(view->message, nullptr);
    EXPECT_EQ(view->selLine, -1);
    Settle();
    view->content_size(w, h);  // two lines fit
    EXPECT_TRUE(h == (view->message->numLines + 2) * view->lineHeight && !view->vscroll.visible());
    for (int key : {FL_Down, FL_Down, FL_Up}) Key(key);
    EXPECT_EQ(view->selLine, 1);  // never up onto the identifier line by key
    for (int key : {FL_Down, FL_Down, FL_Down}) Key(key);
    EXPECT_EQ(view->selLine, view->message->numLines);  // stays on the last line
    Key(FL_Up);

    // The identifier line (covering position -1) selected: the identifier in blue, the bytes
    // in black; the data line covers the bytes: now they are blue and the identifier black.
    fl_font(prefs.font, prefs.fontSize);
    const int x0 = Fl::box_dx(view->box()) + view->margin;
    const int idWidth = static_cast<int>(fl_width("0x123: "));
    const int bytesWidth = static_cast<int>(fl_width("0x11 0x22 0x33 "));
    const int top = Fl::box_dy(view->box());
    EXPECT_GT(Read(x0, top, idWidth, view->lineHeight).blue, 10);
    Ink bytes = Read(x0 + idWidth, top, bytesWidth, view->lineHeight);
    EXPECT_EQ(bytes.blue, 0);
    EXPECT_GT(bytes.dark, 10);
    Key(FL_Down);
    EXPECT_EQ(Read(x0, top, idWidth, view->lineHeight).blue, 0);
    EXPECT_GT(Read(x0 + idWidth, top, bytesWidth, view->lineHeight).blue, 10);

    // A click on the identifier line selects line 0, which highlights nothing.
    Fl::e_x = x0 + 5;
    Fl::e_y = top + 2 + fl_descent();
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    EXPECT_EQ(view->handle(FL_PUSH), 1);
    EXPECT_EQ(view->selLine, 0);
    EXPECT_EQ(Read(x0, top, idWidth, view->lineHeight).blue, 0);
    Fl::e_x = 500;  // outside: left to the scrollbars
    EXPECT_EQ(view->handle(FL_PUSH), 0);
    view->SetSelected(Add(0x124, 1));  // a new selection resets the highlight
    EXPECT_EQ(view->selLine, -1);

    // An extended identifier shows its 29 bits in eight digits; a length beyond 8 shows the
    // eight bytes there are; both draw within the view.
    for (int frame : {Add(1u << 29 | 0x1ABCDEF, 12), Add(0x701, 0, FRAME_RTR)}) {
        view->SetSelected(frame);
        EXPECT_GT(Read(12, 2, 300, view->lineHeight).dark, 10);
    }
    // More lines than fit: a vertical scrollbar only.
    view->SetSelected(Add(0x10005, 2, FRAME_ERROR));
    window->size(900, 40);
    view->size(900, 40);
    Settle();
    EXPECT_TRUE(view->vscroll.visible());
    EXPECT_FALSE(view->hscroll.visible());
}

}  // namespace
