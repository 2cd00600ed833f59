#include <gtest/gtest.h>

#include <algorithm>

#include "decode/canopen_parser.h"
#include "decode/canopen_test_support.h"
#include "decode/emcy_codes.h"

namespace {

using Lines = std::vector<std::string>;

TEST(CanopenEmcyTest, CodesThroughTheirFallbacks) {
    ASSERT_EQ(kNumStdEmcyCodes, 193u);
    EXPECT_TRUE(
        std::is_sorted(stdEmcyCodes, stdEmcyCodes + kNumStdEmcyCodes,
                       [](const EmcyCode& a, const EmcyCode& b) { return a.code <= b.code; }));
    EXPECT_EQ(stdEmcyCodes[0].code, 0x1000);
    EXPECT_STREQ(stdEmcyCodes[0].text, "Generic Error");
    EXPECT_EQ(stdEmcyCodes[192].code, 0xFF00);
    EXPECT_STREQ(stdEmcyCodes[192].text, "Device specific");

    CANopenNode node(0, 5);
    EXPECT_EQ(node.getEmcyCode(0x8110, 0), "CAN Overrun (Objects lost)");
    EXPECT_EQ(node.getEmcyCode(0x630F, 0), "Date record No.15");
    EXPECT_EQ(node.getEmcyCode(0x7122, 0), "Motor error or commutation malfunc.");
    EXPECT_EQ(node.getEmcyCode(0x2125, 0), "Earth leakage");  // through 0x2120
    EXPECT_EQ(node.getEmcyCode(0x2155, 0), "Unknown code of type Current, device input side");
    EXPECT_EQ(node.getEmcyCode(0xFF42, 0), "Unknown code of type Device specific");
    EXPECT_EQ(node.getEmcyCode(0x1234, 0), "Unknown emergency code");
    EXPECT_EQ(node.getEmcyCode(0x0001, 0), "Unknown emergency code");
    EXPECT_EQ(node.getEmcyCode(0, 0), "Error cleared");
    EXPECT_EQ(node.getEmcyCode(0, 1), "No error");
    node.numEmcyCodes = 0;
    EXPECT_EQ(node.getEmcyCode(0x1000, 0), "Unknown emergency code");
}

TEST(CanopenEmcyTest, MessagesAndLengths) {
    CANopenParser p;
    Decoded d = Decode(p, Frame(0x085, {0x10, 0x81, 0x11, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.desc, "EMCY.5: CAN Overrun (Objects lost)");
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.lines, (Lines{"-1 1 1 Emergency message from node 5",
                              "0 2 0 Emergency error code: 0x8110 - CAN Overrun (Objects lost)",
                              "2 1 0 Error register: 0x11 (00010001)",
                              "  2 1 0 Bit 0 set (xxxxxxx1) - Generic Error",
                              "  2 1 0 Bit 4 set (xxx1xxxx) - Communication Error",
                              "3 5 0 Manufacturer specific error information"}));
    d = Decode(p, Frame(0x0FF, {0, 0, 0xC0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.desc, "EMCY.127: No error");  // code 0 with register bits set
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.lines[3], "  2 1 0 Bit 6 set (x1xxxxxx) - Reserved (should be zero)");
    EXPECT_EQ(d.lines[4], "  2 1 0 Bit 7 set (1xxxxxxx) - Manufacturer Specific");
    EXPECT_EQ(Decode(p, Frame(0x081, {0, 0, 0, 0, 0, 0, 0, 0})).desc, "EMCY.1: Error cleared");

    d = Decode(p, Frame(0x085, {0x10, 0x81}));
    EXPECT_EQ(d.desc, "EMCY.5: Badly formed emergency message");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "0 2 2 Emergency messages should have 8 bytes of data");

    d = Decode(p, Frame(0x085, {0x00, 0x50, 0x01, 0x12, 0x34}));
    EXPECT_EQ(d.desc, "EMCY.5: Device Hardware");
    EXPECT_GE(d.status, 2);
    EXPECT_EQ(d.lines[1], "0 5 1 Emergency messages should have 8 bytes of data");
    EXPECT_EQ(d.lines.back(), "3 2 0 Manufacturer specific error information");

    d = Decode(p, Frame(0x085, {}, 0, FRAME_RTR));
    EXPECT_EQ(d.desc, "EMCY.5: Remote request to emergency object?");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "0 1 2 Remote request to emergency object is not valid");

    d = Decode(p, Frame(0x085, {0x10, 0x81, 0x11, 0, 0, 0, 0, 0}, 8, FRAME_DATA, 64));
    EXPECT_EQ(d.desc, "EMCY.5: Error locating node");
    EXPECT_EQ(d.status, 0);
    EXPECT_TRUE(d.lines.empty());
}

}  // namespace
