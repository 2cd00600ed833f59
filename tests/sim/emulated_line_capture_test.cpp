// What an emulated type 1 card records of its lines while it sends bits.

#include "sim/emulated_line_capture.h"

#include <gtest/gtest.h>

#include <vector>

TEST(LineCaptureTest, SamplesOfKnownBits) {
    constexpr int kPeriodNs = 40;  // a type 1 card's clock: 25 MHz
    LineTiming t;
    t.loopFallNs = 40;  // one clock period
    t.loopRiseNs = 41;  // seen at the second
    // Idle bit, dominant, recessive, then three recessive bits of intermission.
    EXPECT_EQ(CaptureLineSamples({0, 1}, -1, 25, kPeriodNs, t),
              (std::vector<uint16_t>{0x3000, 0x2017, 0x0000, 0x1017, 0x3001, 0x3061}));
    // A stretch longer than 4096 periods is split.
    t.loopRiseNs = 0;
    EXPECT_EQ(CaptureLineSamples({0}, -1, 3000, kPeriodNs, t),
              (std::vector<uint16_t>{0x3000, 0x2BB6, 0x0000, 0x0FFF, 0x0FFF, 0x0EDE}));
    t.stuck = LineTiming::Stuck::kLow;
    EXPECT_EQ(CaptureLineSamples({0, 1}, -1, 25, kPeriodNs, t),
              (std::vector<uint16_t>{0x1000, 0x0017, 0x1018, 0x1063}));
}
