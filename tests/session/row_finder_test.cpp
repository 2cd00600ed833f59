#include "session/row_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filter/fe_list.h"
#include "filter/filter_logic.h"
#include "session/session.h"
#include "store/filt_store.h"
#include "store/msg_store.h"

namespace {

// Frames 0, 1, ... on identifiers 0x100 to 0x109 in turn, i ms apart, their first byte i.
void AddFrames(Session& session, int count) {
    CANframe f;
    f.length = 1;
    for (int i = 0; i < count; i++) {
        f.id = 0x100 + i % 10;
        f.data[0] = static_cast<uint8_t>(i);
        f.timestamp = i * 1000u;
        session.store().Add(f);
    }
}

// A store of 100 frames that held 150, under a filter that leaves out 0x101: the view holds
// the rows of 39 to 149, and the frames of those before 50 have left the store.
TEST(RowFinderTest, FindsForwardBackwardAroundAndOnlyInTheViewsHeldRows) {
    Session session(nullptr, nullptr, 100);
    session.SetParserMode(PARSE_RAW);
    FeList elements;
    elements.Add(std::make_unique<FeCanID>(0x101, 0x7FF));
    session.SetFilter(CreateFilterLogic("!A", elements));
    AddFrames(session, 150);
    FiltStore& view = session.view();
    ASSERT_EQ(view.GetStoreIndex(view.GetFirst()), 39);
    RowFinder finder(view, session.store(), session.decoder());
    const auto row = [&](StoreIndex number) { return finder.RowOfNumber(number); };
    struct Case {
        MatchField field;
        const char* typed;
        StoreIndex from;  // the row of this message number
        bool forward, wrap;
        FindEnd end;
        StoreIndex found;  // message number
    };
    const Case cases[] = {
        {MatchField::kId, "105", 100, true, true, FindEnd::kFound, 105},
        {MatchField::kId, "105", 105, true, true, FindEnd::kFound, 105},  // from on, itself too
        {MatchField::kId, "105", 100, false, true, FindEnd::kFound, 95},
        {MatchField::kData, "8f", 145, true, true, FindEnd::kWrapped, 143},
        {MatchField::kData, "8f", 145, true, false, FindEnd::kNotFound, -1},
        {MatchField::kData, "8f", 140, false, true, FindEnd::kWrapped, 143},
        {MatchField::kData, "2c", 100, true, true, FindEnd::kNotFound, -1},  // 44 left the store
        {MatchField::kId, "109", 51, false, true, FindEnd::kWrapped, 149},   // 49, 39 left it
        {MatchField::kId, "101", 100, true, true, FindEnd::kNotFound, -1},   // filtered out
        {MatchField::kTime, "0.1205", 50, true, false, FindEnd::kFound, 122},
    };
    for (const Case& c : cases) {
        FindProgress progress;
        const FindResult result = finder.Find(FrameMatch::Parse(c.field, c.typed), row(c.from),
                                              c.forward, c.wrap, progress);
        EXPECT_EQ(result.end, c.end) << c.typed << " from " << c.from;
        EXPECT_EQ(result.row < 0 ? -1 : view.GetStoreIndex(result.row), c.found)
            << c.typed << " from " << c.from;
        if (c.end == FindEnd::kNotFound && c.wrap) {
            EXPECT_EQ(progress.percent, 100) << c.typed;  // every row looked at
        }
    }
    // Beyond the ends the search starts at the other end.
    FindProgress progress;
    EXPECT_EQ(view.GetStoreIndex(finder
                                     .Find(FrameMatch::Parse(MatchField::kId, "100"),
                                           view.GetLast() + 1, true, true, progress)
                                     .row),
              50);
    progress.cancel = true;
    EXPECT_EQ(
        finder.Find(FrameMatch::Parse(MatchField::kId, "105"), row(100), true, true, progress).end,
        FindEnd::kCancelled);

    // Go to a number: its row, or the next row's; before the store's first frame, that frame's
    // (the rows before it show nothing).
    EXPECT_EQ(view.GetStoreIndex(row(0)), 50);
    EXPECT_EQ(view.GetStoreIndex(row(40)), 50);
    EXPECT_EQ(view.GetStoreIndex(row(121)), 122);
    EXPECT_EQ(view.GetStoreIndex(row(149)), 149);
    EXPECT_EQ(row(150), -1);
    session.store().Clear();
    EXPECT_EQ(row(0), -1);
    EXPECT_EQ(finder.Find(FrameMatch::Parse(MatchField::kId, "100"), 0, true, true, progress).end,
              FindEnd::kNotFound);
}

// Searches read runs of rows: rows on either side of the ends of runs are found, forward from the
// first row and backward from the last one (whose runs end elsewhere).
TEST(RowFinderTest, RunsOfRowsJoinWithoutGaps) {
    constexpr int kFrames = 100000;
    constexpr int kRun = 32768;
    Session session(nullptr, nullptr, kFrames);
    session.SetParserMode(PARSE_RAW);
    const std::vector<StoreIndex> marked = {kRun - 1,           kRun,
                                            2 * kRun - 1,       2 * kRun,
                                            kFrames - kRun,     kFrames - kRun - 1,
                                            kFrames - 2 * kRun, kFrames - 2 * kRun - 1};
    CANframe f;
    f.length = 2;
    for (int i = 0; i < kFrames; i++) {
        const auto at = std::find(marked.begin(), marked.end(), i);
        f.data[0] = at != marked.end() ? 0xAA : 0;
        f.data[1] = static_cast<uint8_t>(0x11 * (at - marked.begin()));  // 00, 11, ... 77
        session.store().Add(f);
    }
    RowFinder finder(session.view(), session.store(), session.decoder());
    for (size_t k = 0; k < marked.size(); k++) {
        const FrameMatch match = FrameMatch::Parse(
            MatchField::kData, "aa " + std::string(2, static_cast<char>('0' + k)));
        for (bool forward : {true, false}) {
            FindProgress progress;
            EXPECT_EQ(finder.Find(match, forward ? 0 : kFrames - 1, forward, false, progress).row,
                      marked[k])
                << k << (forward ? " forward" : " backward");
        }
    }
}

}  // namespace
