#include "sim/simulated_cards.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/cards.h"
#include "support/test_support.h"

namespace {

TEST(SimulatedCardsTest, HandTheirDriverToTheCards) {
    const SimulatedCards none(nullptr);
    EXPECT_EQ(none.driver(), nullptr);
    Cards real(none.driver(), SocketCanPorts::LeftOut);
    EXPECT_NE(dynamic_cast<SystemDriverCalls*>(&real.driver()), nullptr);

    const SimulatedCards flood("flood");
    ASSERT_NE(flood.driver(), nullptr);
    Cards emulated(flood.driver(), SocketCanPorts::LeftOut);
    EXPECT_EQ(&emulated.driver(), flood.driver());
    emulated.ports().Scan(false);
    EXPECT_EQ(emulated.ports().Count(), 8);
    EXPECT_THROW(SimulatedCards("/nonexistent.cfg"), QuillonError);
}

// The program's own port layer over the emulated cards: listing, and a flood read live through
// the whole pipeline, every frame once and in order.
TEST(SimulatedCardsTest, QuillonDumpListsAndCapturesEmulatedPorts) {
    ProcessResult listed = RunProcess({QUILLON_DUMP_BIN, "-L"}, {"QUILLON_SIM=flood"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    std::istringstream lines(listed.out);
    std::string line;
    int ports = 0;
    for (; std::getline(lines, line); ports++) {
        const std::string start = Format("%d\t%d\t%d\tTRL-KX-2\t", ports, ports / 2, ports % 2 + 1);
        EXPECT_EQ(line.rfind(start, 0), 0u) << line;
    }
    EXPECT_EQ(ports, 8);

    ProcessResult captured = RunProcess({QUILLON_DUMP_BIN, "-m", "raw", "-p", "6:0", "-N", "2000"},
                                        {"QUILLON_SIM=flood"});
    EXPECT_EQ(captured.exitCode, 0) << captured.err;
    std::istringstream rows(captured.out);
    int seq = 0;
    for (; std::getline(rows, line); seq++) {
        const std::string data = Format("\t0x%02X 0x%02X 0x00 0x00 0x06 ", seq & 0xFF, seq >> 8);
        ASSERT_EQ(line.rfind(Format("6\t%d\t", seq), 0), 0u) << line;
        ASSERT_NE(line.find("\t0x00000106\t0" + data), std::string::npos) << line;
    }
    EXPECT_GE(seq, 2000);  // frames received by the stop are printed too

    TempDir dir;
    WriteFile(dir.file("bad.cfg"), "[Emulation]\n   [Bus]\n      speed:1\n   [END]\n[END]\n");
    const ProcessResult bad =
        RunProcess({QUILLON_DUMP_BIN, "-L"}, {"QUILLON_SIM=" + dir.file("bad.cfg")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "quillon-dump: " + dir.file("bad.cfg") + ":3: unknown key speed in [Bus]\n");
}

}  // namespace
