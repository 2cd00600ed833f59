#include "plot/trace_csv.h"

#include <gtest/gtest.h>

#include <limits>

#include "plot/trace.h"
#include "support/test_support.h"

namespace {

// Rows at every point time in the range, each trace's latest value at or before it: a trace
// whose time goes back (its runs merged in time order, the later run's value winning a tie),
// one with a gap and infinities, one with no point in the range and one with none at all.
TEST(TraceCsvTest, RowsAtEveryPointTimeWithTheLatestValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Trace back, odd, early, empty;
    for (auto [time, value] : {std::pair{1000000, 1.0},
                               {3000000, 3.0},
                               {5000000, 5.0},
                               {2000000, 2.0},
                               {3000000, 30.0},
                               {6000000, 6.0}})
        back.Add(time, value);
    for (auto [time, value] :
         {std::pair{500000, 0.25}, {2500000, nan}, {4000000, inf}, {4500000, -inf}, {7000000, 7.0}})
        odd.Add(time, value);
    early.Add(-1500000, -2.5);
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WriteTracesCsv(dir.file("t.csv"), {"back", "odd", "early", "empty"},
                               {&back, &odd, &early, &empty}, 1000000, 6000000, &error));
    ExpectGolden(TEST_DATA_DIR "/../../plot/data/traces.csv", ReadFile(dir.file("t.csv")));
    ASSERT_TRUE(WriteTracesCsv(dir.file("t.csv"), {"early"}, {&early}, -2000000, 0, &error));
    EXPECT_EQ(ReadFile(dir.file("t.csv")), "time,early\n-1.500000,-2.5\n");
    EXPECT_FALSE(WriteTracesCsv(dir.path(), {"back"}, {&back}, 0, 1, &error));
    EXPECT_EQ(error, "Is a directory");
}

}  // namespace
