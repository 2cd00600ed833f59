// gtest before FLTK: X11 headers define None.
#include <gtest/gtest.h>

#include "ui/msg_list.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <memory>

#include "filter/filter_element.h"
#include "filter/filter_logic.h"
#include "session/session.h"
#include "session/settings.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "ui/gui_support.h"
#include "ui/msg_detail.h"
#include "ui/windows.h"

namespace {

class MsgListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session.SetParserMode(PARSE_RAW);
        window = std::make_unique<Fl_Window>(500, 400);
        list = static_cast<MsgListFLTK*>(CreateMsgList(0, 0, 500, 200, session, prefs, &frame));
        frame.detail = CreateMsgDetail(0, 200, 500, 200, session, prefs);
        window->end();
        window->show();
        Settle();
    }
    void Add(int count, uint32_t id = 0x181) {
        CANframe f;
        f.length = 1;
        for (int i = 0; i < count; i++) {
            f.id = id + (i % 2);
            f.timestamp += 1000;
            session.store().Add(f);
        }
    }
    void Key(int key) {
        Fl::e_keysym = key;
        list->handle(FL_KEYDOWN);
    }
    MsgDetailFLTK& Detail() { return *static_cast<MsgDetailFLTK*>(frame.detail); }

    QL_Settings prefs;
    Session session{nullptr, nullptr, 1000};
    StubFrame frame;                    // the window the list reports its selection through
    std::unique_ptr<Fl_Window> window;  // the list and the detail view, before the session goes
    MsgListFLTK* list = nullptr;
};

TEST_F(MsgListTest, EmptyListAndFollowingNewFrames) {
    list->Tick();
    int w, h;
    list->content_size(w, h);
    EXPECT_EQ(h, 2 * list->lineHeight);
    for (int key : {FL_Down, FL_Up, FL_Page_Down, FL_Home, FL_End, int{'c'}}) Key(key);
    EXPECT_EQ(list->selFrame, -1);

    Add(1);
    EXPECT_TRUE(list->newData);  // set by the adding thread, taken by the timer
    const int lines = list->Lines();
    // Each step: a key (0: none), frames added, then the top row and whether the list follows.
    const struct {
        int key, added, top;
        bool follows;
    } steps[] = {{0, 99, 100 - lines, true},     // the newest frame on the last full row
                 {FL_Up, 0, 99 - lines, false},  // no selection: scrolls and stops following
                 {0, 10, 99 - lines, false},
                 {FL_End, 10, 120 - lines, true},
                 {FL_Home, 0, 0, false}};
    for (const auto& step : steps) {
        if (step.key) Key(step.key);
        Add(step.added);
        list->Tick();
        EXPECT_EQ(list->topIndex, step.top) << step.key;
        EXPECT_EQ(list->autoScroll, step.follows) << step.key;
    }
}

TEST_F(MsgListTest, SelectionByKeysAndClicks) {
    Add(50);
    list->Tick();
    Key(FL_Home);
    // A click on the header line selects the row above the first one shown, clamped.
    fl_font(prefs.font, prefs.fontSize);
    // The y of the middle of a text line (0: the header) as the list measures it.
    auto lineY = [&](int line) {
        return Fl::box_dy(list->box()) + fl_descent() + line * list->lineHeight +
               list->lineHeight / 2;
    };
    Fl::e_x = 20;
    Fl::e_y = lineY(0);
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    EXPECT_EQ(list->handle(FL_PUSH), 1);
    EXPECT_TRUE(list->selFrame == 0 && Detail().selFrame == 0);  // handed to the detail view
    EXPECT_EQ(list->txList.Count(), 1u);
    EXPECT_FALSE(list->autoScroll);
    Fl::e_y = lineY(2);  // the second frame row
    list->handle(FL_PUSH);
    EXPECT_EQ(list->selFrame, 1);
    Key(FL_Down);
    EXPECT_EQ(list->selFrame, 2);
    Key(FL_Page_Down);
    const int lines = list->Lines();
    EXPECT_EQ(list->selFrame, 2 + lines);
    EXPECT_GE(list->selIndex, list->topIndex);  // kept in view
    EXPECT_LT(list->selIndex, list->topIndex + lines);
    Key(FL_Up);
    EXPECT_EQ(list->selFrame, 1 + lines);
    Fl::e_x = 900;  // outside the content: left to the scrollbars
    EXPECT_EQ(list->handle(FL_PUSH), 0);
}

TEST_F(MsgListTest, SelectionSurvivesRefilterAndClear) {
    Add(40);  // ids alternate 0x181, 0x182
    list->Tick();
    list->Select(11);  // an 0x182 frame
    EXPECT_EQ(list->selFrame, 11);
    session.SetFilter(std::make_unique<FeCanID>(0x181, 0x7FF));  // removes it: the next one left
    EXPECT_TRUE(list->selFrame == 12 && list->selIndex == 6 && Detail().selFrame == 12);
    EXPECT_TRUE(list->newData);

    session.store().Clear();
    EXPECT_TRUE(list->selFrame == -1 && Detail().message == nullptr);
    Add(5);  // 1 ms apart
    list->Tick();
    CANframe f;
    ASSERT_TRUE(session.view().Get(0, f));
    EXPECT_EQ(list->TimeText(0, f), "0.001000   ");
    list->ToggleDeltaTime();
    EXPECT_EQ(list->TimeText(0, f), "0.000000   ");  // the first row has no previous frame
    ASSERT_TRUE(session.view().Get(1, f));
    EXPECT_EQ(list->TimeText(1, f), "0.002000   ");  // the filter left every other frame
    // A text line without a time stamp has no delta and is no reference for the next row.
    session.SetFilter(std::make_unique<FilterLogic>());
    CANframe text;
    text.SetText("# note");
    text.unstamped = 1;
    session.store().Add(text);
    Add(1);  // at 1 ms, after the frame at 5 ms
    list->Tick();
    ASSERT_TRUE(session.view().Get(5, text) && session.view().Get(6, f));
    EXPECT_EQ(list->TimeText(5, text) + "|" + list->TimeText(6, f), "|-0.004000  ");
    Settle();  // draws the delta times
}

}  // namespace
