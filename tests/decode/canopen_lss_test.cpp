#include <gtest/gtest.h>

#include <algorithm>

#include "decode/canopen_parser.h"
#include "decode/canopen_test_support.h"
#include "decode/lss_tables.h"

namespace {

using Lines = std::vector<std::string>;

TEST(CanopenLssTest, TablesAreSorted) {
    auto sorted = [](const LssRow* rows, int n) {
        return std::is_sorted(rows, rows + n, [](const LssRow& a, const LssRow& b) {
            return a.specifier <= b.specifier;
        });
    };
    EXPECT_EQ(kLssCmdRows, 21);
    EXPECT_EQ(kLssRespRows, 11);
    EXPECT_TRUE(sorted(lssCmd, kLssCmdRows));
    EXPECT_TRUE(sorted(lssResp, kLssRespRows));
    EXPECT_EQ(lssCmd[0].specifier, 4);
    EXPECT_EQ(lssCmd[20].specifier, 94);
    EXPECT_STREQ(lssCmd[20].name, "Enquire node ID");
    EXPECT_EQ(lssResp[0].specifier, 17);
    EXPECT_EQ(lssResp[10].specifier, 94);
    EXPECT_STREQ(lssResp[10].name, "Enquire node ID response");
}

TEST(CanopenLssTest, CommandsFromTheMaster) {
    CANopenParser p;
    Decoded d = Decode(p, Frame(0x7E5, {0x04, 0x01}));
    EXPECT_EQ(d.desc, "LSS - Switch mode global");
    EXPECT_EQ(d.lines,
              (Lines{"-1 1 0 CANopen Layer Setting Services (LSS)", "0 1 0 LSS command specifier 4",
                     "  0 1 0 Switch mode global", "1 1 0 Switch to configuration mode."}));
    d = Decode(p, Frame(0x7E5, {0x04, 0x02}));
    EXPECT_EQ(d.lines.back(), "1 1 2 Invalid mode, should be 0 or 1.");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x04, 0x00})).lines.back(),
              "1 1 0 Switch to operational mode.");
    d = Decode(p, Frame(0x7E5, {0x04}));
    EXPECT_EQ(d.desc, "LSS - with missing data!");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "0 1 2 Error, missing mode byte");

    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x11, 0x22})).desc, "LSS - Configure node ID (34)");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x11, 0x22})).lines.back(), "1 1 0 New node ID: 34");
    d = Decode(p, Frame(0x7E5, {0x11}));
    EXPECT_EQ(d.desc, "LSS - Configure node ID (missing data)");
    EXPECT_EQ(d.lines.back(), "0 1 2 Error, missing node ID");

    d = Decode(p, Frame(0x7E5, {0x13, 0x00, 0x03}));
    EXPECT_EQ(d.desc, "LSS - Configure bit timing parameters");
    EXPECT_EQ(d.lines, (Lines{"-1 1 0 CANopen Layer Setting Services (LSS)",
                              "0 1 0 LSS command specifier 19", "  0 1 0 Configure bit timing",
                              "1 1 0 Table selector: 0", "  0 0 0 Standard CiA bit timing table",
                              "2 1 0 Table index: 3", "  0 0 0 250 kBit/sec"}));
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x13, 0x00, 0x05})).lines.back(), "  0 0 1 Reserved value");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x13, 0x00, 0x09})).lines.back(), "  0 0 1 Reserved value");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x13, 0x00, 0x08})).lines.back(), "  0 0 0 10 kBit/sec");
    d = Decode(p, Frame(0x7E5, {0x13, 0x80, 0x01}));
    EXPECT_EQ(d.lines[4], "  0 0 0 Manufacturer specific table");
    EXPECT_EQ(d.lines.back(), "2 1 0 Table index: 1");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x13, 0x7F, 0x01})).lines[4], "  0 0 1 Reserved value");
    d = Decode(p, Frame(0x7E5, {0x13, 0x00}));
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "0 2 2 Error, table index missing");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x13})).lines.back(), "0 1 2 Error, bit timing data missing");

    d = Decode(p, Frame(0x7E5, {0x15, 0xE8, 0x03}));
    EXPECT_EQ(d.desc, "LSS - Activate bit timing parameters");
    EXPECT_EQ(d.lines.back(), "1 2 0 Switch delay 1000 ms");
    d = Decode(p, Frame(0x7E5, {0x15, 0xE8}));
    EXPECT_EQ(d.desc, "LSS - Activate bit timing parameters");
    EXPECT_EQ(d.lines.back(), "0 2 2 Error, switch delay missing");

    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x17})).desc, "LSS - Store configuration");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x4C})).desc, "LSS - Identify non-configured slaves");

    d = Decode(p, Frame(0x7E5, {0x42, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(d.desc, "LSS - Switch mode select, Revision number (0x01020304)");
    EXPECT_EQ(d.lines.back(), "1 4 0 Revision number: 0x01020304");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x4B, 0x78, 0x56, 0x34, 0x12, 0, 0, 0})).desc,
              "LSS - Identify slave, Serial number high (0x12345678)");
    d = Decode(p, Frame(0x7E5, {0x40, 0x01, 0x02}));
    EXPECT_EQ(d.desc, "LSS - Switch mode select, Vendor ID (no data)");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "0 3 2 Error - command requires 5 data bytes");

    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x5A})).desc, "LSS - Enquire Vendor ID");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x5E})).desc, "LSS - Enquire Node ID");

    d = Decode(p, Frame(0x7E5, {0x30}));
    EXPECT_EQ(d.desc, "LSS - Invalid command");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "  0 1 2 Illegal value for command specifier");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0xFF})).desc, "LSS - Invalid command");
    d = Decode(p, Frame(0x7E5, {}));
    EXPECT_EQ(d.desc, "LSS - with missing data!");
    EXPECT_EQ(d.lines.back(), "0 0 2 Not enough data.  Needs at least one byte.");
}

TEST(CanopenLssTest, ResponsesFromSlaves) {
    CANopenParser p;
    Decoded d = Decode(p, Frame(0x7E4, {0x11, 0x00, 0x00}));
    EXPECT_EQ(d.desc, "LSS - Configure Node-ID response");
    EXPECT_EQ(
        d.lines,
        (Lines{"-1 1 0 CANopen Layer Setting Services (LSS)", "0 1 0 LSS command specifier 17",
               "  0 1 0 Configure node ID response", "1 1 0 Error code: 0",
               "  0 0 0 Protocol successfully completed", "2 1 0 Specific error code: 0"}));
    EXPECT_EQ(Decode(p, Frame(0x7E4, {0x11, 0x01, 0x00})).lines[4], "  0 0 0 Node ID out of range");
    EXPECT_EQ(Decode(p, Frame(0x7E4, {0x11, 0x02, 0x00})).lines[4], "  0 0 1 Reserved error code");
    EXPECT_EQ(Decode(p, Frame(0x7E4, {0x11, 0x07, 0x00})).lines[4], "  0 0 1 Reserved error code");
    EXPECT_EQ(Decode(p, Frame(0x7E4, {0x11, 0xFF, 0x09})).lines[4],
              "  0 0 0 Manufacturer specific error");
    EXPECT_EQ(Decode(p, Frame(0x7E4, {0x13, 0x01, 0x00})).lines[4],
              "  0 0 0 Bit timing not supported");
    d = Decode(p, Frame(0x7E4, {0x17, 0x02, 0x05}));
    EXPECT_EQ(d.desc, "LSS - Store Configuration response");
    EXPECT_EQ(d.lines[4], "  0 0 0 Storage media access error");
    EXPECT_EQ(d.lines[5], "2 1 0 Specific error code: 5");
    d = Decode(p, Frame(0x7E4, {0x13, 0x00}));
    EXPECT_EQ(d.desc, "LSS - Configure Bit Timing response");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "0 2 2 Error - message should contain two bytes of error code info");

    EXPECT_EQ(Decode(p, Frame(0x7E4, {0x44})).desc, "LSS - Switch Mode Selective response");
    EXPECT_EQ(Decode(p, Frame(0x7E4, {0x4F})).desc, "LSS - Identify slave response");
    EXPECT_EQ(Decode(p, Frame(0x7E4, {0x50})).desc, "LSS - Identify non-configured response");

    d = Decode(p, Frame(0x7E4, {0x5B, 0x44, 0x33, 0x22, 0x11, 0, 0, 0}));
    EXPECT_EQ(d.desc, "LSS - Enquire Product code response (0x11223344)");
    EXPECT_EQ(d.lines.back(), "1 5 0 Product code: 0x11223344");
    d = Decode(p, Frame(0x7E4, {0x5A, 0x44}));
    EXPECT_EQ(d.desc, "LSS - Enquire Vendor ID response (missing data)");
    EXPECT_EQ(d.lines.back(), "0 2 2 Error - message should contain 5 data bytes");
    d = Decode(p, Frame(0x7E4, {0x5E, 0x23}));
    EXPECT_EQ(d.desc, "LSS - Enquire Node ID response (0x23)");
    EXPECT_EQ(d.lines.back(), "1 1 0 Node ID: 0x00000023");
    EXPECT_EQ(Decode(p, Frame(0x7E4, {0x04, 0x01})).desc, "LSS - Invalid command");
}

}  // namespace
