#include "hw/can_bits.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "store/can_frame.h"

namespace {

// Checks each frame of a table of frames and their wire form (one a line, tab-separated:
// identifier, 29-bit, remote, DLC, data bytes, CRC-15, the bits to the end of the CRC before and
// after stuffing, the stuff bits, the frame's bits); the number of frames.
int CheckTable(const std::string& path) {
    std::ifstream in(path);
    int rows = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        SCOPED_TRACE(line);
        std::istringstream fields(line);
        std::string f[10];
        for (std::string& field : f) std::getline(fields, field, '\t');
        CANframe frame;
        frame.type = f[2] == "1" ? FRAME_RTR : FRAME_DATA;
        frame.extended = f[1] == "1";
        frame.id = static_cast<uint32_t>(std::stoul(f[0], nullptr, 16)) | frame.extended << 29;
        frame.length = static_cast<int16_t>(std::stoi(f[3]));
        for (size_t i = 0; i + 1 < f[4].size(); i += 2)
            frame.data[i / 2] = static_cast<uint8_t>(std::stoul(f[4].substr(i, 2), nullptr, 16));
        EXPECT_EQ(FrameCrc15(frame), std::stoul(f[5], nullptr, 16));
        std::string bits;
        for (uint8_t bit : FrameBits(frame)) bits += static_cast<char>('0' + bit);
        // After the CRC the delimiters, the ACK slot as sent and the end of frame: recessive.
        EXPECT_EQ(bits, f[7] + "1111111111");
        EXPECT_EQ(FrameBusBits(frame), std::stoi(f[9]) + 3);
        rows++;
    }
    return rows;
}

}  // namespace

// A few frames of the reference table are kept in data/, so that the check runs without it; error
// frames have no bits.
TEST(CanBitsTest, FramesOfTheTablesAndNoBitsForErrors) {
    CANframe error;
    error.type = FRAME_ERROR;
    EXPECT_TRUE(FrameBits(error).empty());
    EXPECT_EQ(FrameBusBits(error), 0);
    EXPECT_EQ(CheckTable(HW_DATA_DIR "/can_bits.tsv"), 3);
    const std::string reference = CAN_BITS_DATA_DIR "/frames.tsv";
    if (!std::filesystem::exists(reference)) GTEST_SKIP() << "no reference table";
    EXPECT_GT(CheckTable(reference), 10);
}
