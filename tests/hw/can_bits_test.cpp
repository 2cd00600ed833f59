#include "hw/can_bits.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "store/can_frame.h"

namespace {

// One row of the reference table: the frame and what its wire form must be.
struct BitsRow {
    uint32_t id;
    bool extended;
    bool remote;
    int dlc;
    std::string data;  // hex bytes
    uint16_t crc;
    std::string unstuffed;  // start of frame to the end of the CRC sequence
    std::string stuffed;
    int stuffBits;
    int frameBits;  // start of frame to the end of end of frame
};

CANframe MakeFrame(const BitsRow& row) {
    CANframe frame;
    frame.type = row.remote ? FRAME_RTR : FRAME_DATA;
    frame.extended = row.extended;
    frame.id = row.id | (row.extended ? 1u << 29 : 0u);
    frame.length = static_cast<int16_t>(row.dlc);
    for (size_t i = 0; i + 1 < row.data.size(); i += 2)
        frame.data[i / 2] = static_cast<uint8_t>(std::stoul(row.data.substr(i, 2), nullptr, 16));
    return frame;
}

std::string AsText(const std::vector<uint8_t>& bits, size_t count) {
    std::string text;
    for (size_t i = 0; i < count && i < bits.size(); ++i) text += static_cast<char>('0' + bits[i]);
    return text;
}

// Drops the bit after every run of five equal bits, as a receiver does.
std::string Unstuff(const std::string& stuffed) {
    std::string bits;
    int run = 0;
    char last = 0;
    for (size_t i = 0; i < stuffed.size(); ++i) {
        bits += stuffed[i];
        run = stuffed[i] == last ? run + 1 : 1;
        last = stuffed[i];
        if (run == 5 && i + 1 < stuffed.size()) {
            last = stuffed[++i];
            run = 1;
        }
    }
    return bits;
}

void CheckRow(const BitsRow& row) {
    SCOPED_TRACE(row.stuffed);
    const CANframe frame = MakeFrame(row);
    EXPECT_EQ(FrameCrc15(frame), row.crc);
    const std::vector<uint8_t> bits = FrameBits(frame);
    ASSERT_EQ(bits.size(), static_cast<size_t>(row.frameBits));
    const std::string head = AsText(bits, row.stuffed.size());
    EXPECT_EQ(head, row.stuffed);
    EXPECT_EQ(Unstuff(head), row.unstuffed);
    EXPECT_EQ(AsText(bits, bits.size()).substr(row.stuffed.size()), "1111111111");
    EXPECT_EQ(row.stuffed.size() - row.unstuffed.size(), static_cast<size_t>(row.stuffBits));
    EXPECT_EQ(FrameBusBits(frame), row.frameBits + 3);
}

// Rows of the reference table kept here so that the check runs without it.
const BitsRow kBuiltInRows[] = {
    {0x123, false, false, 3, "010203", 0x1cb9,
     "0001001000110000011000000010000001000000011001110010111001",
     "00010010001100000111000001001000001010000010011001110010111001", 4, 72},
    {0x701, false, true, 1, "", 0x79e0, "0111000000011000001111100111100000",
     "01110000010011000001111101001111000001", 4, 48},
    {0x12345678, true, true, 4, "", 0x479d,
     "010010001101110001010110011110001000100100011110011101",
     "010010001101110001010110011110001000100100011110011101", 0, 64},
};

}  // namespace

TEST(CanBitsTest, BuiltInRows) {
    for (const BitsRow& row : kBuiltInRows) CheckRow(row);
}

TEST(CanBitsTest, ReferenceTable) {
    const std::string path = std::string(CAN_BITS_DATA_DIR) + "/frames.tsv";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no reference table";
    std::ifstream in(path);
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string f[10];
        for (std::string& field : f) std::getline(fields, field, '\t');
        BitsRow row{static_cast<uint32_t>(std::stoul(f[0], nullptr, 16)),
                    f[1] == "1",
                    f[2] == "1",
                    std::stoi(f[3]),
                    f[4],
                    static_cast<uint16_t>(std::stoul(f[5], nullptr, 16)),
                    f[6],
                    f[7],
                    std::stoi(f[8]),
                    std::stoi(f[9])};
        CheckRow(row);
        rows++;
    }
    EXPECT_GT(rows, 10);
}

TEST(CanBitsTest, NoBitsForErrorsAndText) {
    CANframe frame;
    frame.type = FRAME_ERROR;
    EXPECT_TRUE(FrameBits(frame).empty());
    EXPECT_EQ(FrameBusBits(frame), 0);
}
