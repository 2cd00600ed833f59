// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/msg_list.h"

#include <FL/fl_draw.H>

#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "filter/filter_element.h"
#include "filter/filter_logic.h"
#include "store/can_frame.h"
#include "store/filt_store.h"

namespace {

using MsgListTest = MsgViewsTest;

TEST_F(MsgListTest, FollowsNewFramesAndSelectsByKeysAndClicks) {
    list->Tick();
    int w, h;
    list->content_size(w, h);
    EXPECT_EQ(h, 2 * list->lineHeight);
    for (int key : {FL_Down, FL_Up, FL_Page_Down, FL_Home, FL_End, int{'c'}}) Key(list, key);
    EXPECT_EQ(list->selFrame, -1);

    Add(1);
    EXPECT_TRUE(list->newData);  // set by the adding thread, taken by the timer
    const int lines = list->Lines();
    // Each step: a key (0: none), frames added, then the top row and whether the list follows.
    for (auto [key, added, top, follows] :
         {std::tuple{0, 99, 100 - lines, true},  // the newest frame on the last full row
          {FL_Up, 0, 99 - lines, false},         // no selection: scrolls and stops following
          {0, 10, 99 - lines, false},
          {FL_End, 10, 120 - lines, true},
          {FL_Home, 0, 0, false}}) {
        if (key) Key(list, key);
        Add(added);
        list->Tick();
        EXPECT_EQ(list->topIndex, top) << key;
        EXPECT_EQ(list->autoScroll, follows) << key;
    }

    // A click on the header line selects the row above the first one shown, clamped. The y of
    // the header line's middle as the list measures it:
    fl_font(prefs.font, prefs.fontSize);
    const int header = Fl::box_dy(list->box()) + fl_descent() + list->lineHeight / 2;
    EXPECT_EQ(Push(list, 20, header), 1);
    EXPECT_TRUE(list->selFrame == 0 && detail->selFrame == 0);  // handed to the detail view
    EXPECT_EQ(list->txList.Count(), 1u);
    EXPECT_FALSE(list->autoScroll);
    EXPECT_EQ(Push(list, 20, header + 2 * list->lineHeight), 1);  // the second frame row
    EXPECT_EQ(list->selFrame, 1);
    for (auto [key, selected] :
         {std::pair{FL_Down, 2}, {FL_Page_Down, 2 + lines}, {FL_Up, 1 + lines}}) {
        Key(list, key);
        EXPECT_EQ(list->selFrame, selected) << key;
        EXPECT_GE(list->selIndex, list->topIndex);  // kept in view
        EXPECT_LT(list->selIndex, list->topIndex + lines);
    }
    EXPECT_EQ(Push(list, 900, header), 0);  // outside the content: left to the scrollbars
}

// A sideways scroll moves the columns and leaves the following alone: a list that follows keeps
// following though frames came since its timer last ran, and one paused at its end stays paused.
TEST_F(MsgListTest, SidewaysScrollNeitherPausesNorResumes) {
    Add(300);
    Settle();
    ASSERT_TRUE(list->hscroll.visible());
    // Each: whether a row at the end is selected first, frames added since the timer ran, x.
    for (auto [paused, added, x] : {std::tuple{false, 10, 30}, {true, 0, 60}}) {
        list->Follow();
        list->Tick();
        if (paused) list->Select(list->topIndex + list->Lines() - 1);
        Add(added);
        list->hscroll.value(x);
        list->hscroll.do_callback();
        EXPECT_EQ(list->xoff, x);
        EXPECT_EQ(list->autoScroll, !paused) << x;
    }
}

// A list over a store whose count has run to just below 2^32.
class MsgListLongRunTest : public MsgViewsTest {
  protected:
    static constexpr StoreIndex kStart = (StoreIndex{1} << 32) - 3;
    void SetUp() override {
        session.CreateStores(1000, kStart);
        MsgViewsTest::SetUp();
    }
};

// Past 2^32 frames the list selects frames by their whole message numbers, from the keys, from
// a number asked for (the status window's links) and across a refilter.
TEST_F(MsgListLongRunTest, SelectsByMessageNumbersPastTwoToThe32) {
    EXPECT_EQ(Add(6), kStart + 5);  // ids alternate 0x181, 0x182
    list->Tick();
    EXPECT_EQ(list->SelectFrame(kStart + 3), FrameSelection::kSelected);
    EXPECT_TRUE(list->selFrame == kStart + 3 && list->selIndex == 3 &&
                detail->selFrame == kStart + 3);
    Key(list, FL_Down);
    EXPECT_EQ(list->selFrame, kStart + 4);
    // The number with its high bits lost is no frame of the store.
    EXPECT_EQ(list->SelectFrame(static_cast<uint32_t>(kStart + 4)), FrameSelection::kNotStored);
    session.SetFilter(std::make_unique<FeCanID>(0x181, 0x7FF));
    EXPECT_TRUE(list->selFrame == kStart + 4 && list->selIndex == 2);
    EXPECT_EQ(list->SelectFrame(kStart + 5), FrameSelection::kFilteredOut);
    EXPECT_EQ(list->SelectFrame(kStart + 2), FrameSelection::kSelected);
    EXPECT_EQ(detail->selFrame, kStart + 2);
}

// Times past 2^32 microseconds (71.6 minutes into a capture): the Time column shows them whole,
// and the time since the previous row stays small and positive across 2^32.
TEST_F(MsgListTest, TimesPastTwoToThe32Microseconds) {
    CANframe f;
    for (const uint64_t time : {4294967000ull, 4294968000ull, 9000500000ull}) {
        f.timestamp = time;
        session.store().Add(f);
    }
    list->Tick();
    std::string texts;  // the times, then the times since the previous row
    for (int delta = 0; delta < 2; delta++, list->ToggleDeltaTime())
        for (int i = 0; session.view().Get(i, f); i++) texts += list->TimeText(i, f) + "|";
    EXPECT_EQ(texts, "4294.967000|4294.968000|9000.500000|0.000000   |0.001000   |4705.532000|");
}

// Scrolled far down with no row selected, a filter that leaves few rows shows the rows from the
// time of the first row before it, not an empty list; following the newest, the end.
TEST_F(MsgListTest, RefilterWithoutSelectionKeepsTheTime) {
    CANframe f;  // every tenth frame an SDO response, the others PDOs
    f.length = 1;
    for (int i = 0; i < 900; i++) {  // the store holds 1000
        f.id = i % 10 ? 0x181 : 0x581;
        f.timestamp += 1000;
        session.store().Add(f);
    }
    list->Tick();
    const int lines = list->Lines();
    ASSERT_LT(lines, 14);  // sixty pages stay short of the end
    Fl::focus(list);
    std::string keys = "Home";
    for (int i = 0; i < 60; i++) keys += " Next";
    for (int i = 0; i < 100; i++) keys += " Up";
    const StoreIndex top = 60 * lines - 100;
    Keys(window.get(), "key", keys, [&] { return list->topIndex == top; });
    ASSERT_TRUE(list->selFrame == -1 && !list->autoScroll);

    session.SetFilter(std::make_unique<FeCanID>(0x580, 0x780));
    // The first row shows the first frame left at or after the one shown there before.
    EXPECT_EQ(session.view().GetStoreIndex(list->topIndex), (top + 9) / 10 * 10);
    EXPECT_TRUE(UntilUi([&] { return !list->newData; }));
    const int rowsY = Fl::box_dy(list->box()) + 2 * list->lineHeight;
    EXPECT_GT(InkIn(*window, 0, rowsY, 400, lines * list->lineHeight).dark, 100);

    // Following the newest frames: the end.
    Keys(window.get(), "key", "End", [&] { return list->autoScroll; });
    session.SetFilter(std::make_unique<FilterLogic>());
    EXPECT_EQ(list->topIndex, 900 - lines);
    EXPECT_TRUE(UntilUi([&] { return !list->newData; }));
    EXPECT_EQ(list->topIndex, 900 - lines);
}

TEST_F(MsgListTest, SelectionSurvivesRefilterAndClear) {
    Add(40);  // ids alternate 0x181, 0x182
    list->Tick();
    list->Select(11);  // an 0x182 frame
    EXPECT_EQ(list->selFrame, 11);
    session.SetFilter(std::make_unique<FeCanID>(0x181, 0x7FF));  // removes it: the next one left
    EXPECT_TRUE(list->selFrame == 12 && list->selIndex == 6 && detail->selFrame == 12);
    EXPECT_TRUE(list->newData);

    session.store().Clear();
    // Cleared: no selection, and the list follows the new frames.
    EXPECT_TRUE(list->selFrame == -1 && detail->message == nullptr && list->autoScroll);
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

// Each kind of row as the list writes it: Port|Msg #|Time|ID|DLC|Data|Value. Identifiers of
// standard frames in 3 digits, of extended ones (flagged, or marked as a port delivers them) in
// 8; a remote frame has a length and no bytes; an error frame shows its error bits and bytes; a
// text line, stamped or not, has no time, identifier or length, and is no reference for the
// time since the row above.
TEST_F(MsgListTest, ColumnsOfEachKindOfRow) {
    struct Row {
        int type;
        uint32_t id;
        bool extended;
        int length;
        const char* text;
    };
    const Row rows[] = {
        {FRAME_DATA, 0x181, false, 2, nullptr},
        {FRAME_DATA, 0x18FF0001, true, 8, nullptr},
        {FRAME_DATA, 0x123 | kExtendedMark, true, 0, nullptr},
        {FRAME_RTR, 0x701, false, 1, nullptr},
        {FRAME_ERROR, 0x8, false, 2, nullptr},
        {FRAME_TEXT, 0, false, 0, "# note"},         // a comment without a time stamp
        {FRAME_TEXT, 0, false, 0, "FD 0x1a2 ##12"},  // an entry with the log's time stamp
        {FRAME_DATA, 0x7FF, false, 3, nullptr},
        // Identifiers with bits beyond their kind show them all, never another frame's.
        {FRAME_DATA, 0x800, false, 1, nullptr},
        {FRAME_DATA, 0x40000123 | kExtendedMark, false, 1, nullptr},
    };
    for (size_t i = 0; i < std::size(rows); i++) {
        CANframe f;
        f.port = 1;
        f.timestamp = 1000 * (i + 1);
        if (rows[i].text) {
            f.SetText(rows[i].text);
            f.unstamped = i == 5;
            if (f.unstamped) f.timestamp = 0;
        } else {
            f.type = static_cast<int16_t>(rows[i].type);
            f.id = rows[i].id;
            f.extended = rows[i].extended;
            f.length = static_cast<int16_t>(rows[i].length);
            for (int b = 0; b < 8; b++) f.data[b] = static_cast<uint8_t>(0x11 * (b + 1));
        }
        session.store().Add(f);
    }
    const auto texts = [&] {
        std::string all;
        CANframe f;
        for (StoreIndex p = 0; session.view().Get(p, f); p++) {
            const MsgRowTexts t = list->RowTexts(p, session.view().GetStoreIndex(p), f);
            for (const std::string* cell : {&t.port, &t.msg, &t.time, &t.id, &t.dlc, &t.data})
                all += *cell + "|";
            all += t.value + "\n";
        }
        return all;
    };
    EXPECT_EQ(texts(), ReadFile(UI_DATA_DIR "/list_rows.txt"));
    list->ToggleDeltaTime();
    CANframe f;
    ASSERT_TRUE(session.view().Get(7, f));
    EXPECT_EQ(list->TimeText(7, f), "0.003000   ");  // since the error frame
}

}  // namespace
