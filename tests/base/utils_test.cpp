#include "base/utils.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(UtilsTest, StrToIntReadsDecimalAndHex) {
    const char* const cases[][2] = {{"0x1F", "31 ok"},
                                    {"0X1f", "31 ok"},
                                    {"010", "10 ok"},
                                    {" \t ", "0 ok"},
                                    {"  -7  ", "-7 ok"},
                                    {"+7", "7 ok"},
                                    {"12ab", "12 bad"},
                                    {"1 2", "1 bad"},
                                    {"-", "0 bad"},
                                    {"0x", "0 bad"},
                                    {"2147483647", "2147483647 ok"},
                                    {"2147483648", "2147483647 bad"},
                                    {"-2147483648", "-2147483648 ok"},
                                    {"-2147483649", "-2147483648 bad"},
                                    {"0xFFFFFFFF", "-1 ok"},
                                    {"0x100000000", "-1 bad"}};
    for (const auto& c : cases) {
        bool ok = std::strstr(c[1], "ok") == nullptr;  // the opposite of what it must become
        const int32_t value = StrToInt(std::string(c[0]), &ok);
        EXPECT_EQ(std::to_string(value) + (ok ? " ok" : " bad"), c[1]) << c[0];
    }
}

TEST(UtilsTest, NumbersAndBytes) {
    EXPECT_EQ(std::vector<int32_t>(
                  {Round(2.5), Round(-2.5), Round(2.4999), Round(1e12), Round(-1e12), Round(NAN)}),
              std::vector<int32_t>({3, -3, 2, INT32_MAX, INT32_MIN, 0}));

    const std::string high = binary(0xA5, 0xF0);  // the next call reuses the buffer
    EXPECT_EQ(high + binary(0x01, 0x81), "1010xxxx0xxxxxx1");

    const unsigned char bytes[] = {0x78, 0x56, 0x34, 0xF2};
    EXPECT_TRUE(Build16(bytes) == 0x5678 && Build32(bytes) == 0xF2345678u);
    unsigned char out[5] = {0, 0, 0, 0, 0xEE};
    Split32(0xDEADBEEF, out);
    EXPECT_EQ(Build32(out), 0xDEADBEEFu);
    EXPECT_EQ(out[4], 0xEE);  // nothing past four bytes

    timeval tv;
    gettimeofday(&tv, nullptr);
    uint64_t wide = static_cast<uint64_t>(tv.tv_sec) * 1000000u + tv.tv_usec;
    EXPECT_LT(GetTime() - wide, 100000u);  // 64-bit microseconds
}

TEST(UtilsTest, Texts) {
    EXPECT_TRUE(dirName("file.txt") == nullptr && std::string(dirName("/a/b.txt")) == "/a/");
    std::string longPath = "/dir/" + std::string(600, 'x') + "/name";  // looks at 499 characters
    EXPECT_STREQ(dirName(longPath.c_str()), "/dir/");

    std::string pad(1998, 'p');
    EXPECT_EQ(Format("%s%d", pad.c_str(), 78), pad + "7");
    EXPECT_EQ(Format("%d.%02d", 1, 6), "1.06");

    std::string s = " \t a b \r\n";
    TrimString(s);
    EXPECT_EQ(s, "a b");
    char left[] = "  z ";
    EXPECT_EQ(ltrim(left), left + 2);
    EXPECT_EQ(rtrim(left), 3);
    EXPECT_STREQ(left, "  z");
    EXPECT_TRUE(StrEmpty(" \t\r\n") && !StrEmpty("\xE4"));  // not ASCII: no white space, no crash
}

}  // namespace
