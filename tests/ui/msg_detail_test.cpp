// gtest before FLTK: X11 headers define None.
#include <gtest/gtest.h>

#include "ui/msg_detail.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <memory>

#include "app/quillon.h"
#include "app/settings.h"
#include "decode/parser.h"
#include "store/msg_store.h"

namespace {

// A shown window holding one detail view over a store decoded by the raw decoder.
class MsgDetailTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App().msgStore = std::make_unique<MsgStore>(100);
        App().parser = std::make_unique<Parser>();
        window = std::make_unique<Fl_Window>(400, 200);
        view = static_cast<MsgDetailFLTK*>(CreateMsgDetail(0, 0, 400, 200));
        window->end();
        window->show();
        Settle();
    }
    void TearDown() override {
        window.reset();
        App().msgStore.reset();
        App().parser.reset();
    }
    static void Settle() {
        for (int i = 0; i < 5; i++) Fl::wait(0.02);
        Fl::flush();
    }
    static int Add(uint32_t id, int length, int type = FRAME_DATA) {
        CANframe f;
        f.id = id;
        f.type = type;
        f.length = length;
        for (int i = 0; i < 8; i++) f.data[i] = static_cast<uint8_t>(0x11 * (i + 1));
        App().msgStore->Add(f);
        return App().msgStore->GetLast();
    }
    void Key(int key) {
        Fl::e_keysym = key;
        view->handle(FL_KEYDOWN);
    }
    // Pixels of the window in a rectangle that are mostly blue, and mostly dark.
    struct Ink {
        int blue = 0, dark = 0;
    };
    Ink Read(int x, int y, int w, int h) {
        Settle();
        window->make_current();
        std::unique_ptr<uchar[]> rgb(fl_read_image(nullptr, x, y, w, h));
        Ink ink;
        for (int i = 0; i < w * h; i++) {
            const uchar r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
            if (b > 150 && r < 100 && g < 100) ink.blue++;
            if (r < 80 && g < 80 && b < 80) ink.dark++;
        }
        return ink;
    }

    std::unique_ptr<Fl_Window> window;
    MsgDetailFLTK* view = nullptr;
};

TEST_F(MsgDetailTest, EmptyUntilAFrameIsSelected) {
    int w, h;
    view->content_size(w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_FALSE(view->vscroll.visible());
    EXPECT_FALSE(view->hscroll.visible());
    view->SetSelected(42);  // not in the store
    EXPECT_EQ(view->selFrame, -1);
    EXPECT_EQ(view->message, nullptr);
    const Ink ink = Read(2, 2, 396, 196);
    EXPECT_EQ(ink.dark, 0);
}

TEST_F(MsgDetailTest, HighlightFollowsKeysAndClicks) {
    const int frame = Add(0x123, 3);
    view->SetSelected(frame);
    ASSERT_NE(view->message, nullptr);
    EXPECT_EQ(view->selLine, -1);
    Settle();
    ASSERT_GT(view->lineHeight, 0);
    int w, h;
    view->content_size(w, h);
    EXPECT_EQ(h, (view->message->numLines + 2) * view->lineHeight);
    EXPECT_FALSE(view->vscroll.visible());  // two lines fit: no scrollbars, offsets 0
    EXPECT_EQ(view->yoff, 0);

    Key(FL_Down);
    EXPECT_EQ(view->selLine, 0);
    Key(FL_Down);
    EXPECT_EQ(view->selLine, 1);
    Key(FL_Up);
    EXPECT_EQ(view->selLine, 1);  // never up onto the identifier line by key
    Key(FL_Down);
    Key(FL_Down);
    Key(FL_Down);
    EXPECT_EQ(view->selLine, view->message->numLines);  // stays on the last line
    Key(FL_Up);
    EXPECT_EQ(view->selLine, 1);
    Fl::e_keysym = 'a';
    EXPECT_EQ(view->handle(FL_KEYDOWN), 0);

    // The identifier line (covering position -1) selected: the identifier in blue, the bytes
    // in black.
    fl_font(settings.font, settings.fontSize);
    const int x0 = Fl::box_dx(view->box()) + view->margin;
    const int idWidth = static_cast<int>(fl_width("0x123: "));
    const int bytesWidth = static_cast<int>(fl_width("0x11 0x22 0x33 "));
    const int top = Fl::box_dy(view->box());
    Ink id = Read(x0, top, idWidth, view->lineHeight);
    Ink bytes = Read(x0 + idWidth, top, bytesWidth, view->lineHeight);
    EXPECT_GT(id.blue, 10);
    EXPECT_EQ(bytes.blue, 0);
    EXPECT_GT(bytes.dark, 10);
    // The data line covers the bytes: now they are blue and the identifier black.
    Key(FL_Down);
    id = Read(x0, top, idWidth, view->lineHeight);
    bytes = Read(x0 + idWidth, top, bytesWidth, view->lineHeight);
    EXPECT_EQ(id.blue, 0);
    EXPECT_GT(bytes.blue, 10);

    // A click on the identifier line selects line 0, which highlights nothing.
    Fl::e_x = x0 + 5;
    Fl::e_y = top + 2 + fl_descent();
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    EXPECT_EQ(view->handle(FL_PUSH), 1);
    EXPECT_EQ(view->selLine, 0);
    id = Read(x0, top, idWidth, view->lineHeight);
    EXPECT_EQ(id.blue, 0);
    Fl::e_x = 500;  // outside: left to the scrollbars
    EXPECT_EQ(view->handle(FL_PUSH), 0);

    // A new selection resets the highlight.
    view->SetSelected(Add(0x124, 1));
    EXPECT_EQ(view->selLine, -1);
}

TEST_F(MsgDetailTest, IdentifiersRemoteAndLongFrames) {
    fl_font(settings.font, settings.fontSize);
    const int x0 = 2 + 10;
    // An extended identifier shows its 29 bits in eight digits; a length beyond 8 shows the
    // eight bytes there are; both draw within the view.
    view->SetSelected(Add(1u << 29 | 0x1ABCDEF, 12));
    Settle();
    EXPECT_GT(Read(x0, 2, 300, view->lineHeight).dark, 10);
    view->SetSelected(Add(0x701, 0, FRAME_RTR));
    Settle();
    EXPECT_GT(Read(x0, 2, 300, view->lineHeight).dark, 10);

    // More lines than fit: a vertical scrollbar only.
    view->SetSelected(Add(0x10005, 2, FRAME_ERROR));
    Settle();
    window->size(900, 40);
    view->size(900, 40);
    Settle();
    EXPECT_TRUE(view->vscroll.visible());
    EXPECT_FALSE(view->hscroll.visible());
}

}  // namespace
