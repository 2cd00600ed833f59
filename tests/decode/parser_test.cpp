#include "decode/parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

CANframe Data(uint32_t id, std::initializer_list<uint8_t> bytes) {
    CANframe f;
    f.id = id;
    for (uint8_t b : bytes) f.data[f.length++] = b;
    return f;
}

void ExpectFrag(ParsedMessage& m, int row, int col, int first, int count, const std::string& text) {
    ParseFrag* f = m.getFrag(row, col);
    ASSERT_NE(f, nullptr) << row << "," << col;
    EXPECT_EQ(f->first, first) << text;
    EXPECT_EQ(f->count, count) << text;
    EXPECT_EQ(f->level, 0u) << text;
    EXPECT_EQ(f->text, text);
}

TEST(RawParserTest, DataAndRemoteFrames) {
    Parser p;
    CANframe f = Data(0x123, {});
    EXPECT_EQ(p.GetShortDesc(f), "");
    std::unique_ptr<ParsedMessage> m(p.Parse(f));
    ExpectFrag(*m, 0, 0, -1, 1, "CAN message ID (standard 11-bit ID): 0x123");
    ExpectFrag(*m, 1, 0, 0, 0, "No data passed with message");
    EXPECT_EQ(m->numLines, 2);

    f = Data(0x20000000 | 0x1ABCDEF, {0x01, 0xA0});
    EXPECT_EQ(p.GetShortDesc(f), "0x01 0xA0 ");
    m.reset(p.Parse(f));
    ExpectFrag(*m, 0, 0, -1, 1, "CAN message ID (extended 29-bit ID): 0x01abcdef");
    ExpectFrag(*m, 1, 0, 0, 2, "Message contains 2 bytes of data");
    EXPECT_EQ(f.status, 0);

    for (int bad : {9, 15, -1, -16}) {
        f = Data(0x7FF, {});
        f.length = bad;
        EXPECT_EQ(p.GetShortDesc(f),
                  "ERROR: CAN frame with " + std::to_string(bad) + " bytes of data");
        EXPECT_EQ(f.status, 3);
        m.reset(p.Parse(f));
        ExpectFrag(*m, 1, 0, 0, bad, "Message contains " + std::to_string(bad) + " bytes of data");
    }

    f = Data(0x701, {});
    f.type = FRAME_RTR;
    EXPECT_EQ(p.GetShortDesc(f), "Remote request");
    m.reset(p.Parse(f));
    ExpectFrag(*m, 1, 0, 0, 0, "No data passed with remote messages");
}

TEST(RawParserTest, ErrorTextAndOtherFrames) {
    Parser p;
    CANframe f = Data(0x10005, {3, 4});
    f.type = FRAME_ERROR;
    EXPECT_EQ(p.GetShortDesc(f), "CAN stuff error.  Error counters - Tx: 3, Rx: 4");
    EXPECT_EQ(f.status, 3);
    std::unique_ptr<ParsedMessage> m(p.Parse(f));
    ExpectFrag(*m, 0, 0, -1, 1, "CAN error type mask");
    ExpectFrag(*m, 0, 1, -1, 1, "0x00000001 - Bit stuffing error");
    ExpectFrag(*m, 0, 2, -1, 1, "0x00000004 - CRC error");
    ExpectFrag(*m, 0, 3, -1, 1, "0x00010000 - CAN message buffer overflow");
    EXPECT_EQ(m->getFrag(0, 4), nullptr);
    ExpectFrag(*m, 1, 0, 0, 1, "Transmit error counter: 3");
    ExpectFrag(*m, 2, 0, 1, 1, "Receive error counter: 4");

    f = Data(0x40, {});
    f.type = FRAME_ERROR;
    f.data[0] = 7;  // reported whatever the length
    EXPECT_EQ(p.GetShortDesc(f), "CAN  error.  Error counters - Tx: 7, Rx: 0");
    m.reset(p.Parse(f));
    ExpectFrag(*m, 0, 1, -1, 1, "0x00000040 - Unknown error bits");
    EXPECT_EQ(m->numFrags, 1);

    CANframe t;
    t.SetText("# note");
    EXPECT_EQ(p.GetShortDesc(t), "# note");
    t.SetText(nullptr);
    EXPECT_EQ(p.GetShortDesc(t), "Empty comment line");
    m.reset(p.Parse(t));
    EXPECT_EQ(m->numLines, 0);

    CANframe odd;
    odd.type = -3;
    EXPECT_EQ(p.GetShortDesc(odd), "Unknown frame type: -3");
    EXPECT_EQ(odd.status, 3);
}

TEST(ParsedMessageTest, DropsLinesBeyondTheTable) {
    ParsedMessage m(CANframe{});
    m.addSubFrag("before any line", 0);  // dropped
    EXPECT_EQ(m.numLines, 1);
    m.addFrag("a much longer first line", 5);  // level masked to 2 bits
    EXPECT_EQ(m.getFrag(0, 0)->level, 1u);
    for (int i = 0; i < 25; i++) m.addSubFrag(2, 3, "sub", 2);
    m.addSubFrag(std::string(40, 's'), 0);
    EXPECT_NE(m.getFrag(0, 19), nullptr);
    EXPECT_EQ(m.getFrag(0, 20), nullptr);
    EXPECT_EQ(m.maxSubFragLen, 3);  // the long one came after column 19
    for (int i = 1; i < 60; i++) m.addFrag(i, "x", 0);
    EXPECT_NE(m.getFrag(49, 0), nullptr);
    EXPECT_EQ(m.getFrag(50, 0), nullptr);
    EXPECT_EQ(m.getFrag(-1, 0), nullptr);
    EXPECT_EQ(m.getFrag(0, -1), nullptr);
    EXPECT_EQ(m.numLines, 1 + 1 + 26 + 59);
    EXPECT_EQ(m.maxFragLen, 24);  // never decreases
}

}  // namespace
