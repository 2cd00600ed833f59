// Lines of candump logs, one at a time: remote requests with every length a classic CAN frame
// has, data frames up to eight bytes, and the lengths beyond that only CAN FD has.

#include "io/candump_log.h"

#include <gtest/gtest.h>

#include <string>

#include "base/utils.h"
#include "store/can_frame.h"
#include "support/test_support.h"

namespace {

// What a new reader makes of the line: "-" when it refuses it, else the entry described by
// DescribeFrame, with the length in brackets.
std::string Read(const std::string& line) {
    CandumpLogParser parser;
    std::string text = line;
    CANframe frame;
    if (!parser.Parse(text.data(), frame)) return "-";
    return DescribeFrame(frame) + Format(" [%d]", frame.length);
}

TEST(CandumpLogReaderTest, RemoteRequestsAndDataFramesOfEveryLength) {
    struct Row {
        const char* frame;  // after "(1700000000.000000) can0 "
        const char* entry;
    };
    const Row rows[] = {
        // A remote request gives its length after R, 0 when none is given; it has no CAN FD
        // form, so that no length beyond 8 is one.
        {"123#R", "R 0 0 0x123 [0]"},
        {"123#R0", "R 0 0 0x123 [0]"},
        {"123#R1", "R 0 0 0x123 0 [1]"},
        {"123#R2", "R 0 0 0x123 0 0 [2]"},
        {"123#R3", "R 0 0 0x123 0 0 0 [3]"},
        {"123#R4", "R 0 0 0x123 0 0 0 0 [4]"},
        {"123#R5", "R 0 0 0x123 0 0 0 0 0 [5]"},
        {"123#R6", "R 0 0 0x123 0 0 0 0 0 0 [6]"},
        {"123#R7", "R 0 0 0x123 0 0 0 0 0 0 0 [7]"},
        {"123#R8", "R 0 0 0x123 0 0 0 0 0 0 0 0 [8]"},
        {"1FFFFFFF#R8", "R 0 0 0x3fffffff 0 0 0 0 0 0 0 0 [8]"},
        {"123#R9", "-"},
        {"123#RF", "-"},
        {"123#R10", "-"},
        {"123#R8x", "-"},
        // A data frame of up to 8 bytes; more only as a CAN FD frame (##), which a frame record
        // holds up to 8 bytes of.
        {"123#", "D 0 0 0x123 [0]"},
        {"123#01", "D 0 0 0x123 1 [1]"},
        {"123#0102030405060708", "D 0 0 0x123 1 2 3 4 5 6 7 8 [8]"},
        {"123#010203040506070809", "-"},
        {"123##0", "D 0 0 0x123 [0]"},
        {"123##10102030405060708", "D 0 0 0x123 1 2 3 4 5 6 7 8 [8]"},
        {"123##1010203040506070809",
         "T 0 0 0 CAN FD frame with 9 data bytes: 01 02 03 04 05 06 07 08 09 [0]"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Read(std::string("(1700000000.000000) can0 ") + row.frame), row.entry)
            << row.frame;
}

}  // namespace
