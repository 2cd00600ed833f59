#include "io/log_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Expect {
    const char* line;
    bool stored;
    int type = FRAME_DATA;
    uint32_t timestamp = 0;
    int port = 0;
    uint32_t id = 0;
    std::vector<int> data = {};
    const char* text = nullptr;
};

TEST(LogParserTest, Grammar) {
    const Expect cases[] = {
        {"      123 CAN1: 0x00000181 - 0x01 0x02 \n", true, FRAME_DATA, 123, 1, 0x181, {1, 2}},
        {"CAN1: 0x181 - 1 2", true, FRAME_DATA, 0, 1, 0x181, {1, 2}},
        {"5 CAN: 0x181 - ", true, FRAME_DATA, 5, 0, 0x181, {}},
        {"5 CAN7.R: 10 - 255 0 0 0 0 0 0 0x7",
         true,
         FRAME_DATA,
         5,
         7,
         10,
         {255, 0, 0, 0, 0, 0, 0, 7}},
        {"5 CAN0x10.X: 1 -", true, FRAME_DATA, 5, 16, 1, {}},
        {"010 CAN1: 0x181", false},                         // a data line needs its dash
        {"010 RTR2: 0x701", true, FRAME_RTR, 8, 2, 0x701},  // leading zero: octal, as strtoul
        {"9 RTR: 0x701 - 0x01", true, FRAME_RTR, 9, 0, 0x701, {1}},
        {"9 CAN3: 0x701 - RMT 8", true, FRAME_RTR, 9, 3, 0x701, {}},
        {"9 ERROR4:", true, FRAME_ERROR, 9, 4},
        {"9 ERROR4: 0x5 - 1 2", true, FRAME_ERROR, 9, 4, 5, {1, 2}},
        {"9 ERROR: zz", false},
        {"1 CAN1: 0x181 - 1 2 3 4 5 6 7 8 9", false},  // a ninth byte
        {"1 CAN1: 0x181 - 0x100", false},
        {"1 CAN1: 0x181 - -1", false},
        {"1 CAN1: 0x181 - 0x100000001", false},  // not the byte 1
        {"1 CAN1: 0x181 - 1 zz", false},
        {"1 CAN1: 0x181 + 1", false},
        {"1 CAN1: 0x18z - 1", false},
        {"1 CAN1:", false},
        {"77", false},
        {"", false},
        {" \t\r\n", false},
        {"# only a comment  \n", true, FRAME_TEXT, 0, 0, 0, {}, "# only a comment"},
        {"17 two  words \r\n", true, FRAME_TEXT, 17, 0, 0, {}, "two  words"},
        {"3 CAN1.Q: 0x1 - 1", true, FRAME_TEXT, 3, 0, 0, {}, "CAN1.Q: 0x1 - 1"},
        {"3 CAN256: 0x1", true, FRAME_TEXT, 3, 0, 0, {}, "CAN256: 0x1"},
        {"3 CAN1 : 0x1", true, FRAME_TEXT, 3, 0, 0, {}, "CAN1 : 0x1"},
        {"3 CAN1:x 0x1", true, FRAME_TEXT, 3, 0, 0, {}, "CAN1:x 0x1"},
        {"CANDY is sweet", true, FRAME_TEXT, 0, 0, 0, {}, "CANDY is sweet"},
    };
    LogParserVexa parser;
    for (const auto& c : cases) {
        std::string line = c.line;
        CANframe f;
        f.SetText("old");  // whatever the frame held is released
        ASSERT_EQ(parser.Parse(line.data(), f), c.stored) << c.line;
        if (!c.stored) continue;
        EXPECT_EQ(f.type, c.type) << c.line;
        EXPECT_EQ(f.timestamp, c.timestamp) << c.line;
        EXPECT_EQ(f.port, c.port) << c.line;
        if (c.type == FRAME_TEXT) {
            EXPECT_STREQ(f.text, c.text) << c.line;
            continue;
        }
        EXPECT_EQ(f.id, c.id) << c.line;
        ASSERT_EQ(f.length, static_cast<int>(c.data.size())) << c.line;
        for (size_t i = 0; i < c.data.size(); i++) EXPECT_EQ(f.data[i], c.data[i]) << c.line;
    }
}

// Numbers are read exactly as strtoul/strtol with base 0 read them.
TEST(LogParserTest, NumbersReadLikeStrtoul) {
    std::vector<std::string> tokens = {"0",
                                       "00",
                                       "007",
                                       "08",
                                       "0x",
                                       "0x1g",
                                       "0XfF",
                                       "+5",
                                       "-5",
                                       "+-5",
                                       "-0x10",
                                       "0x",
                                       "1e3",
                                       "12",
                                       "-",
                                       "+",
                                       "99999999999999999999",
                                       "-99999999999999999999",
                                       "0xffffffffffffffff",
                                       "0x10000000000000000",
                                       "4294967296"};
    uint32_t seed = 7;
    const char alphabet[] = "0123456789abcdefxX+-";
    for (int i = 0; i < 3000; i++) {
        std::string t;
        for (int n = 1 + (seed >> 28); n > 0; n--) {
            seed = seed * 1103515245u + 12345u;
            t += alphabet[(seed >> 16) % (sizeof alphabet - 1)];
        }
        tokens.push_back(t);
    }
    LogParserVexa parser;
    for (const auto& t : tokens) {
        char* end;
        unsigned long want = t[0] == '-'
                                 ? static_cast<unsigned long>(std::strtol(t.c_str(), &end, 0))
                                 : std::strtoul(t.c_str(), &end, 0);
        const bool whole = end != t.c_str() && *end == '\0';
        std::string line = t + " CAN1: 0x1 -";
        CANframe f;
        ASSERT_TRUE(parser.Parse(line.data(), f)) << t;
        if (whole) {
            EXPECT_EQ(f.type, FRAME_DATA) << t;
            EXPECT_EQ(f.timestamp, static_cast<uint32_t>(want)) << t;
        } else {
            EXPECT_EQ(f.type, FRAME_TEXT) << t;
        }
    }
}

TEST(LogParserTest, OddInput) {
    LogParserVexa parser;
    CANframe f;
    std::string many;
    for (int i = 0; i < 40; i++) many += " w" + std::to_string(i);
    EXPECT_TRUE(parser.Parse(many.data(), f));
    EXPECT_EQ(f.type, FRAME_TEXT);
    std::string huge(5000, 'x');  // longer than a line buffer: cut, never overrun
    EXPECT_TRUE(parser.Parse(huge.data(), f));
    EXPECT_EQ(std::string(f.text).size(), 1000u);
    char nul[] = "12 CAN1: 0x1 - 1\0 2 3";
    EXPECT_TRUE(parser.Parse(nul, f));
    EXPECT_EQ(f.length, 1);
}

}  // namespace
