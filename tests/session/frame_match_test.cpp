#include "session/frame_match.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/quillon_error.h"
#include "decode/canopen_parser.h"

namespace {

CANframe Data(uint32_t id, std::vector<uint8_t> bytes, int type = FRAME_DATA) {
    CANframe f;
    f.type = type;
    f.id = id;
    f.length = static_cast<int>(bytes.size());
    for (size_t i = 0; i < bytes.size(); i++) f.data[i] = bytes[i];
    return f;
}

// What each typed find matches among a few frames, or the message it is refused with.
TEST(FrameMatchTest, IdentifiersDataPatternsTextAndTheirMistakes) {
    const std::vector<CANframe> frames = {
        Data(0x181, {0x40, 0x17, 0x10}),  // 0
        Data(0x181, {}, FRAME_RTR),       // 1
        // 2: a 29-bit identifier with its mark, as captured
        Data(0x1ABCDEF | kExtendedMark, {0x40, 0x00, 0x10, 0x00, 0x5}),
        Data(0x701, {0x05}),                     // 3: a heartbeat, "operational"
        Data(0x181, {0x40, 0x17}, FRAME_ERROR),  // 4
    };
    struct Row {
        MatchField field;
        const char* typed;
        std::string matched;  // the frames matched, by number; or the message
    };
    const Row rows[] = {
        {MatchField::kId, "181", "01"},
        {MatchField::kId, " 0x181 ", "01"},
        {MatchField::kId, "1abcdef", "2"},
        {MatchField::kId, "0X701", "3"},
        {MatchField::kId, "18g", "Not an identifier: \"18g\" (hex: 181, 0x181)"},
        {MatchField::kId, "0x", "Not an identifier: \"0x\" (hex: 181, 0x181)"},
        {MatchField::kId, "123456789", "Not an identifier: \"123456789\" (hex: 181, 0x181)"},
        {MatchField::kId, "20000000", "Not an identifier: \"20000000\" (above 1FFFFFFF)"},
        {MatchField::kId, "  ", "Type what to find"},
        {MatchField::kData, "40", "02"},
        {MatchField::kData, "10", ""},  // from the first byte on
        {MatchField::kData, "?? 17", "0"},
        {MatchField::kData, "40 ?? 10", "02"},
        {MatchField::kData, "40??10 00", "2"},
        {MatchField::kData, "* 10", "02"},
        {MatchField::kData, "*05", "23"},
        {MatchField::kData, "40 * 00 05", "2"},
        {MatchField::kData, "* 00 05", "2"},  // the first 00 is not the one
        {MatchField::kData, "* 40 ?? 05", ""},
        {MatchField::kData, "* 17 10 *", "0"},
        {MatchField::kData, "?? ?? ?? ?? ?? ??", ""},  // more bytes than any frame has
        {MatchField::kData, "*", "023"},
        {MatchField::kData, "4",
         "Not a data pattern: \"4\" at 1: a byte takes two hex digits (40 ?? 10 *)"},
        {MatchField::kData, "40 ?x", "Not a data pattern: \"40 ?x\" at 4: a lone ? (40 ?? 10 *)"},
        {MatchField::kData, "40,17",
         "Not a data pattern: \"40,17\" at 3: not a hex digit (40 ?? 10 *)"},
        {MatchField::kText, "OPERATIONAL", "3"},
        {MatchField::kText, "xyz", ""},
    };
    CANopenParser decoder;
    for (const Row& row : rows) {
        std::string got;
        try {
            const FrameMatch match = FrameMatch::Parse(row.field, row.typed);
            for (size_t i = 0; i < frames.size(); i++)
                if (match.Matches(frames[i], &decoder)) got += std::to_string(i);
            EXPECT_EQ(match.Decodes(), row.field == MatchField::kText);
        } catch (const QuillonError& e) {
            got = e.message;
        }
        EXPECT_EQ(got, row.matched) << static_cast<int>(row.field) << " " << row.typed;
    }
    // Without a decoder no text matches.
    EXPECT_FALSE(FrameMatch::Parse(MatchField::kText, "operational").Matches(frames[3], nullptr));
}

TEST(FrameMatchTest, GoToNumbersAndTimes) {
    struct Row {
        const char* typed;
        std::string target;  // "#number", "time micros", or the message
    };
    const Row rows[] = {
        {"#1234", "#1234"},
        {" 1234 ", "#1234"},
        {"12.5s", "time 12500000"},
        {"0.000001 S", "time 1"},
        {"3s", "time 3000000"},
        {"#-1", "Not a message number or a time: \"#-1\" (#1234, 12.5s)"},
        {"12.5", "Not a message number or a time: \"12.5\" (#1234, 12.5s)"},
        {"-1s", "Not a message number or a time: \"-1s\" (#1234, 12.5s)"},
        {"s", "Not a message number or a time: \"s\" (#1234, 12.5s)"},
    };
    for (const Row& row : rows) {
        std::string got;
        try {
            const GoToTarget target = ParseGoTo(row.typed);
            got = target.time ? "time " + std::to_string(target.micros)
                              : "#" + std::to_string(target.number);
        } catch (const QuillonError& e) {
            got = e.message;
        }
        EXPECT_EQ(got, row.target) << row.typed;
    }
    CANframe stamped, comment;
    stamped.timestamp = 2000000;
    comment.SetText("comment");
    comment.unstamped = 1;
    const FrameMatch at2 = FrameMatch::Parse(MatchField::kTime, "2");
    EXPECT_TRUE(at2.Matches(stamped, nullptr));
    EXPECT_FALSE(at2.Matches(comment, nullptr));
    EXPECT_FALSE(FrameMatch::AtTime(2000001).Matches(stamped, nullptr));
}

}  // namespace
