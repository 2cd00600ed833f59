#include "decode/sdo.h"

#include <gtest/gtest.h>

#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "decode/canopen_test_support.h"

namespace {

// The SDO scan of node 5 through a real store: the transfer state after each frame, and the
// exchanges it links.
class SdoScanTest : public ::testing::Test {
  protected:
    // Each step: who sends (C the client, N node 5), the bytes in hex of an 8-byte frame (zeros
    // after the last given), then after "=" the state the scan leaves.
    void Run(std::initializer_list<const char*> steps) {
        for (const char* step : steps) {
            std::istringstream in(step);
            char who = 0;
            in >> who;
            CANframe f = Frame(who == 'C' ? 0x605 : 0x585, {}, 8);
            std::string word;
            for (int i = 0; in >> word && word != "="; i++)
                f.data[i] = static_cast<uint8_t>(std::stoul(word, nullptr, 16));
            int state = -1;
            in >> state;
            const int at = s.Add(f);
            EXPECT_EQ(Sdo().state, state) << "frame " << at << ": " << step;
        }
    }
    SDO& Sdo() { return s.parser.findNode(0, 5)->sdo; }
    static std::vector<int> Range(int first, int last) {
        std::vector<int> v(last - first + 1);
        std::iota(v.begin(), v.end(), first);
        return v;
    }
    ScannedStore s;
};

TEST_F(SdoScanTest, ExpeditedAndSegmentedTransfers) {
    Run({"C 40 18 10 01 = 5", "N 43 18 10 01 78 56 34 12 = 1", "C 2f 00 20 00 07 = 2",
         "N 60 00 20 = 1", "C 40 08 10 = 5", "N 41 08 10 00 0b = 6", "C 60 = 7",
         "N 00 51 75 69 6c 6c 6f 6e = 6", "C 70 = 7", "N 1b 20 31 = 1", "C 21 00 20 00 0a = 2",
         "N 60 00 20 = 3", "C 00 01 02 03 04 05 06 07 = 4", "N 20 = 3", "C 19 08 09 0a = 4",
         "N 30 = 1"});
    EXPECT_EQ(s.Exchange(1), Range(0, 1));
    EXPECT_EQ(s.Exchange(2), Range(2, 3));
    EXPECT_EQ(s.Exchange(6), Range(4, 9));
    EXPECT_EQ(s.Exchange(15), Range(10, 15));
}

TEST_F(SdoScanTest, AbortsAndAnswersOutOfSequence) {
    Run({"N 00 01 02 03 04 05 06 07 = 6",  // the node's first frame: never out of sequence
         "C 80 = 1", "N 00 01 02 03 04 05 06 07 = 6", "C 40 18 10 01 = 5",
         "N 80 18 10 01 00 00 02 06 = 1", "C 2f 00 20 00 07 = 2", "C e0 = 1"});
    EXPECT_EQ(s.Exchange(0), Range(0, 2));
    EXPECT_EQ(s.Exchange(4), Range(3, 4));
}

TEST_F(SdoScanTest, BlockUpload) {
    Run({"C a4 00 20 00 7f = 20", "N c6 00 20 00 0a = 21", "C a3 = 22",
         "N 01 01 02 03 04 05 06 07 = 22", "N 82 08 09 0a = 22"});
    EXPECT_EQ(Sdo().lastSeq, 2);
    EXPECT_TRUE(Sdo().last);
    Run({"C a2 02 7f = 23", "N c9 34 12 = 23", "C a1 = 1"});
    EXPECT_EQ(s.Exchange(4), Range(0, 7));

    // A segment out of order is not accepted; the acknowledgement of the last one in order
    // asks for the rest in another sub-block.
    Run({"C a4 00 20 00 80 15 = 20", "N c4 00 20 = 21", "C a3 = 22",
         "N 01 01 02 03 04 05 06 07 = 22", "N 03 01 02 03 04 05 06 07 = 22"});
    EXPECT_EQ(Sdo().lastSeq, 1);
    EXPECT_EQ(Sdo().seq, 3);
    Run({"C a2 01 7f = 22", "N 81 01 02 03 = 22"});
    EXPECT_TRUE(Sdo().last);
    EXPECT_EQ(s.Exchange(14), Range(8, 14));
}

TEST_F(SdoScanTest, BlockDownload) {
    Run({"C c6 00 20 01 0a = 10", "N a4 00 20 01 7f = 12", "C 01 01 02 03 04 05 06 07 = 12",
         "C 82 08 09 0a = 12", "N a2 02 7f = 13", "C c9 34 12 = 13", "N a1 = 1"});
    EXPECT_EQ(s.Exchange(2), Range(0, 6));
}

TEST_F(SdoScanTest, ShortFramesArePaddedInTheStore) {
    const CANframe stored =
        s.At(s.Add(Frame(0x605, {0x40, 0x18, 0x10, 0x01, 0x00, 0xAA, 0xBB, 0xCC}, 5)));
    EXPECT_EQ(stored.length, 5);
    EXPECT_GE(stored.status, 2);
    for (int i = 5; i < 8; i++) EXPECT_EQ(stored.data[i], 0) << i;
    // A length beyond 8, which no log holds, reads the eight bytes there are.
    CANframe longer = s.At(s.Add(Frame(0x605, {0x40}, 12)));
    EXPECT_EQ(s.parser.GetShortDesc(longer), "SDO->5: get object 0x0000");
}

}  // namespace
