// The bus analysis from both ends: the emulated cards' captures and results, and the program's
// conversation with the card and its decoding of line samples.

#include "hw/bus_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "hw/can_bits.h"
#include "hw/hw_test_support.h"
#include "hw/line_samples.h"
#include "sim/emulated_line_capture.h"

namespace {

constexpr int kPeriodNs = 40;  // a type 1 card's clock: 25 MHz

// What the program makes of a type 1 card's capture of bits at bit-rate code code.
BusMeasurement Capture(const std::vector<uint8_t>& bits, int code, const LineTiming& t) {
    const double bitTime = 1e9 / CanIntf::GetBPS(code);
    const int spb = static_cast<int>(std::lround(bitTime / kPeriodNs));
    const int ackSlot = static_cast<int>(bits.size()) - 9;
    BusMeasurement d;
    d.stats.bitTime = bitTime;
    d.ok = DecodeLineSamples(CaptureLineSamples(bits, ackSlot, spb, kPeriodNs, t), spb, kPeriodNs,
                             &d.stats, &d.stuckHigh, &d.stuckLow);
    return d;
}

// The ACK edges as the diagram draws them: after the start of the ACK slot and of the bit after.
double AckFall(const CanBusStats& s) {
    return s.ackFallPos - s.bitTime;
}
double AckRise(const CanBusStats& s) {
    return s.ackFallPos + s.ackRiseSpan - 2 * s.bitTime;
}

std::string Describe(const BusMeasurement& m) {
    if (!m.ok) return "failed: " + m.alert;
    const CanBusStats& s = m.stats;
    return Format(
        "fall %.0f rise %.0f ACK at %.0f span %.0f (fall %.0f rise %.0f) bit %.0f status "
        "%u stuck high %d low %d",
        s.rxFall, s.rxRise, s.ackFallPos, s.ackRiseSpan, AckFall(s), AckRise(s), s.bitTime,
        s.status, m.stuckHigh, m.stuckLow);
}

}  // namespace

// The emulated capture's samples of known bits.
TEST(LineCaptureTest, SamplesOfKnownBits) {
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

TEST(LineSamplesTest, DecodesEveryFrameShapeDelayAndRate) {
    const int delays[] = {0, 40, 160, 480};
    for (int code = 0; code < 8; code++)
        for (bool extended : {false, true})
            for (int length = 0; length <= 8; length++)
                for (uint8_t fill : {0x00, 0xFF, 0x55})
                    for (int i = 0; i < 4; i++) {
                        const LineTiming t{delays[i], delays[(i + 1) % 4], true, delays[i] + 130,
                                           delays[(i + 2) % 4] + 50};
                        const uint32_t id = extended ? 0x1ABCDEF0 : 0x5A5;
                        const auto bits = FrameBits(MakeFrame(FRAME_DATA, extended, id,
                                                              std::vector<uint8_t>(length, fill)));
                        SCOPED_TRACE(Format("code %d ext %d len %d fill %02x delay %d", code,
                                            extended, length, fill, delays[i]));
                        const BusMeasurement d = Capture(bits, code, t);
                        ASSERT_TRUE(d.ok);
                        EXPECT_NEAR(d.stats.rxFall, t.loopFallNs, kPeriodNs);
                        EXPECT_NEAR(d.stats.rxRise, t.loopRiseNs, kPeriodNs);
                        EXPECT_NEAR(AckFall(d.stats), t.ackFallNs, kPeriodNs);
                        EXPECT_NEAR(AckRise(d.stats), t.ackRiseNs, kPeriodNs);
                        EXPECT_FALSE(d.stuckHigh || d.stuckLow);
                    }
}

// A frame with one data bit flipped after its CRC was made, then a good frame: the first start
// edge gives a CRC mismatch, a later one the good frame.
TEST(LineSamplesTest, BadCrcNoAckAndStuckLines) {
    LineTiming t{160, 200, true, 300, 320};
    std::vector<uint8_t> bad =
        FrameBits(MakeFrame(FRAME_DATA, false, 0x55, std::vector<uint8_t>(8, 0x55)));
    bad[30] ^= 1;  // inside the data bytes, where no run of equal bits grows past three
    const std::vector<uint8_t> good = FrameBits(MakeFrame(FRAME_DATA, false, 0x123, {0, 0}));
    std::vector<uint8_t> both = bad;
    both.insert(both.end(), 3, 1);
    both.insert(both.end(), good.begin(), good.end());
    Transcript transcript;
    const auto capture = [&](const std::vector<uint8_t>& bits) {
        return Describe(Capture(bits, 2, t));
    };
    transcript("bad CRC", [&] { return capture(bad); });
    transcript("bad CRC, then a good frame", [&] { return capture(both); });
    t.ack = false;
    transcript("no ACK", [&] { return capture(good); });
    t.stuck = LineTiming::Stuck::kHigh;
    transcript("stuck high", [&] { return capture(good); });
    t.stuck = LineTiming::Stuck::kLow;
    transcript("stuck low", [&] { return capture(good); });
    transcript("no samples", [&] { return capture({}); });
    ExpectGolden(HW_DATA_DIR "/line_samples.txt", transcript.text);
}

struct BusAnalysisTest : testing::Test, EmulatedCards {
    BusAnalysisTest() : EmulatedCards(HW_DATA_DIR "/bus_analysis.cfg") {}
};

// The measuring card's words 4 and 5 are the ACK's span and position, in that order; the type 1
// card's samples are decoded. Result replies rewritten: four words, then none ready at all.
TEST_F(BusAnalysisTest, MeasurementsRefusedCardsAndUnansweredPolls) {
    Transcript t;
    for (int port : {0, 1, 5, 2, 3, 4, 9})
        t(Format("port %d", port), [&] { return Describe(MeasureBus(cards, port, 0x1234567)); });
    uint32_t word0 = 0x4;
    recorder.rewrite = [&](unsigned long request, void* arg) {
        auto* cmd = static_cast<uint32_t*>(arg);
        if (request == kIoctlCommand && cmd[0] != 0 && (cmd[0] & 0xFFFF) == 5 && cmd[1] == 0)
            cmd[0] = word0;
    };
    t("four words", [&] { return MeasureBus(cards, 0, 0).alert; });
    word0 = 0;
    recorder.calls.clear();
    t("no result", [&] { return MeasureBus(cards, 0, 0).alert; });
    EXPECT_EQ(std::count_if(recorder.calls.begin(), recorder.calls.end(),
                            [](const std::string& c) { return c.find(" 000c0000") == 8; }),
              20);
    ExpectGolden(HW_DATA_DIR "/bus_analysis.txt", t.text);
}

// The delays as lines of the results, each with its level, against the bit time; the lines of
// what could not be measured fail the measurement.
TEST(BusAnalysisLinesTest, RatesDelaysAgainstTheBitTime) {
    // Status, receive delays of a quarter and half the bit time, ACK edges 1399 and 1400 ns after
    // the bit boundaries, bit time.
    CanBusStats s{0, 500, 1000, 1399 + 2000, 1400 + 4000 - (1399 + 2000), 2000};
    Transcript t;
    const auto lines = [&](bool stuckHigh, bool stuckLow) {
        std::string all;
        for (const ResultLine& line : ResultLines(s, stuckHigh, stuckLow))
            all += Format("\n  %d %s%s", line.level, line.text.c_str(),
                          line.failed ? "  (failed)" : "");
        return all;
    };
    t("fall 500, rise 1000, ACK 1399 and 1400", [&] { return lines(false, false); });
    s.rxFall = 499;
    s.ackFallPos = 1600 + 2000;
    s.ackRiseSpan = 0;
    t("fall 499, no ACK", [&] { return lines(false, false); });
    s.ackRiseSpan = 1600 + 4000 - s.ackFallPos;
    t("ACK 1600 and 1600, stuck low", [&] { return lines(false, true); });
    ExpectGolden(HW_DATA_DIR "/bus_analysis_lines.txt", t.text);
}
