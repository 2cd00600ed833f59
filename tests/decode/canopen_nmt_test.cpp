#include <gtest/gtest.h>

#include "decode/canopen_parser.h"
#include "decode/canopen_test_support.h"

namespace {

using Lines = std::vector<std::string>;

TEST(CanopenNmtTest, CommandsNodesAndLengths) {
    CANopenParser p;
    Decoded d = Decode(p, Frame(0, {0x01, 0x00}));
    EXPECT_EQ(d.desc, "NMT: Start Remote Node - all nodes");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.lines, (Lines{"-1 1 0 CANopen Network Management message",
                              "0 1 0 NMT service code 1: Start Remote Node",
                              "1 1 0 Node number 0 (all nodes)"}));
    EXPECT_EQ(Decode(p, Frame(0, {0x81, 0x05})).desc, "NMT: Reset Node - node 5");
    EXPECT_EQ(Decode(p, Frame(0, {0x02, 0x7F})).desc, "NMT: Stop Remote Node - node 127");
    EXPECT_EQ(Decode(p, Frame(0, {0x80, 0x00})).desc,
              "NMT: Enter Pre-Operational state - all nodes");
    EXPECT_EQ(Decode(p, Frame(0, {0x82, 0x01})).desc, "NMT: Reset Communications - node 1");

    d = Decode(p, Frame(0, {0x05, 0x90}));
    EXPECT_EQ(d.desc, "NMT: Unknown Service - illegal node");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines[1], "0 1 2 NMT service code 5: Unknown Service");
    EXPECT_EQ(d.lines[2], "1 1 1 Node number 144 (illegal node)");
    EXPECT_EQ(Decode(p, Frame(0, {0x01, 0x80})).status, 2);

    d = Decode(p, Frame(0, {0x01}));
    EXPECT_EQ(d.desc, "NMT - with missing data!");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines, (Lines{"-1 1 0 CANopen Network Management message",
                              "0 1 2 Not enough data.  Should contain two bytes"}));
    EXPECT_EQ(Decode(p, Frame(0, {}, -3)).lines[1],
              "0 -3 2 Not enough data.  Should contain two bytes");

    d = Decode(p, Frame(0, {0x01, 0x03, 0xAA}));
    EXPECT_EQ(d.desc, "NMT: Start Remote Node - node 3");
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.lines.back(), "2 1 1 Unexpected extra data. (only two bytes expected)");
    // A length beyond 8 reads nothing past the payload; the extra-data line says what it says.
    EXPECT_EQ(Decode(p, Frame(0, {0x01, 0x03}, 15)).lines.back(),
              "2 13 1 Unexpected extra data. (only two bytes expected)");
}

TEST(CanopenNmtTest, Sync) {
    CANopenParser p;
    Decoded d = Decode(p, Frame(0x80, {}));
    EXPECT_EQ(d.desc, "SYNC");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.lines, (Lines{"-1 1 0 Standard CANopen SYNC message"}));
    d = Decode(p, Frame(0x80, {0x11}));
    EXPECT_EQ(d.desc, "SYNC");
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.lines.back(), "0 1 1 Unexpected data passed with SYNC message");
    d = Decode(p, Frame(0x80, {}, 0, FRAME_RTR));
    EXPECT_EQ(d.desc, "Remote request with SYNC message ID?");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "0 1 2 This is a remote request, should be a data message");
}

TEST(CanopenNmtTest, GuardingHeartbeatAndBootUp) {
    CANopenParser p;
    Decoded d = Decode(p, Frame(0x703, {0x05}));
    EXPECT_EQ(d.desc, "GUARD<-3: node is Operational");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.lines, (Lines{"-1 1 0 Node guarding message from node 3",
                              "0 1 0 Node guarding state information: 0x05 (00000101)",
                              "  0 1 0 Toggle bit (0xxxxxxx)",
                              "  0 1 0 Node state 5 (x0000101) - Operational"}));
    d = Decode(p, Frame(0x703, {0x85}));
    EXPECT_EQ(d.lines[2], "  0 1 0 Toggle bit (1xxxxxxx)");
    EXPECT_EQ(d.lines[3], "  0 1 0 Node state 5 (x0000101) - Operational");
    EXPECT_EQ(Decode(p, Frame(0x77F, {0x7F})).desc, "GUARD<-127: node is Pre-operational");
    EXPECT_EQ(Decode(p, Frame(0x701, {0x04})).desc, "GUARD<-1: node is Stopped");

    d = Decode(p, Frame(0x703, {0x80}));  // toggle set, state 0: no boot-up
    EXPECT_EQ(d.desc, "GUARD<-3: Badly formed node guard response");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "  0 1 2 Node state 0 (x0000000) - Invalid state");

    d = Decode(p, Frame(0x70A, {0x00}));
    EXPECT_EQ(d.desc, "GUARD<-10: Boot-up message");
    EXPECT_EQ(d.lines.back(), "  0 1 0 zero byte indicates boot-up message");

    d = Decode(p, Frame(0x705, {}, 0, FRAME_RTR));
    EXPECT_EQ(d.desc, "GUARD->5: Node guarding request");
    EXPECT_EQ(d.lines, (Lines{"-1 1 0 Node guarding message to node 5",
                              "0 1 0 Request for node guarding information"}));

    d = Decode(p, Frame(0x705, {}));
    EXPECT_EQ(d.desc, "GUARD<-5: Badly formed node guard response");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(),
              "0 0 2 No data passed.  Node guarding messages require 1 byte of data");

    d = Decode(p, Frame(0x705, {0x05, 0x00, 0x00}));
    EXPECT_EQ(d.desc, "GUARD<-5: node is Operational");
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.lines.back(), "1 2 1 Unexpected data passed with guard message");
}

}  // namespace
