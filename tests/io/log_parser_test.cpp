#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/utils.h"
#include "io/log_parser.h"
#include "io/log_reader.h"
#include "support/test_support.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kLines = 30000;
#else
constexpr int kLines = 1000000;
#endif

std::string Describe(bool parsed, const CANframe& f) {
    return parsed ? DescribeFrame(f) : "-";
}

// The grammar read the plain way: the line split into words, numbers read by strtoul/strtol.
bool Number(const std::string& t, unsigned long* v) {
    char* end;
    *v = t[0] == '-' ? std::strtol(t.c_str(), &end, 0) : std::strtoul(t.c_str(), &end, 0);
    return std::isdigit(static_cast<unsigned char>(t[t[0] == '-' || t[0] == '+'])) && !*end;
}

std::string Reference(const std::string& line) {
    std::istringstream in(line);
    const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    if (words.empty()) return "-";
    CANframe f;
    unsigned long v, port = 0;
    const bool stamped = Number(words[0], &v);
    if (stamped) f.timestamp = static_cast<long>(v) < 0 ? static_cast<uint32_t>(v) : v;
    size_t at = stamped ? 1 : 0;
    if (at >= words.size()) return "-";
    static const std::regex kWord("(CAN|RTR|ERROR)([0-9][0-9a-zA-Z]*)?(\\.[RX])?:");
    std::smatch m;
    if (!std::regex_match(words[at], m, kWord) ||
        (m[2].matched && (!Number(m[2], &port) || port > 255))) {
        std::string text =
            line.substr(stamped ? line.find(words[1], line.find(words[0]) + words[0].size()) : 0);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
            text.pop_back();
        f.SetText(text.c_str());
        f.unstamped = !stamped;
        return Describe(true, f);
    }
    const int type = m[1] == "CAN" ? FRAME_DATA : m[1] == "RTR" ? FRAME_RTR : FRAME_ERROR;
    f.type = type;
    f.port = static_cast<uint8_t>(port);
    if (++at >= words.size()) return Describe(type == FRAME_ERROR, f);
    if (!Number(words[at], &v)) return "-";
    f.id = static_cast<uint32_t>(v);
    if (++at >= words.size()) return Describe(type != FRAME_DATA, f);
    if (words[at] != "-") return "-";
    if (++at < words.size() && type == FRAME_DATA && words[at].rfind("RMT", 0) == 0) {
        f.type = FRAME_RTR;
        return Describe(true, f);
    }
    for (; at < words.size() && f.length < 8; at++, f.length++) {
        if (!Number(words[at], &v) || v > 255) return "-";
        f.data[f.length] = static_cast<uint8_t>(v);
    }
    return Describe(at == words.size(), f);
}

// Lines of every shape the grammar knows, right and wrong, from a fixed seed.
class LineMaker {
  public:
    std::string Make() {
        std::string s = Pick({"", "", "", " ", "\t", "  \v"});
        if (Roll(4)) s += Number() + Pick({" ", "  ", "\t", ""});
        s += Pick({"CAN", "CAN", "CAN", "RTR", "ERROR", "CA", "ERR", "#", "RMT", "can", "x"});
        s += Pick({"", "", "1", "0", "255", "256", "0x1f", "08", "010", "99999999999999999999"});
        s += Pick({"", "", "", ".R", ".X", ".Q", "."});
        s += Pick({":", ":", ":", ":", "", "::", ": :", ":x"});
        for (int n = Rand() % 13; n > 0; n--) {
            s += Pick({" ", " ", "\t", "  ", "\r"});
            s += Roll(6) ? Number() : Pick({"-", "-", "RMT", "RMTX", "--", "x", "\v"});
        }
        s += Pick({"", " ", " \r", "\t ", "  "});
        if (Rand() % 64 == 0) s.insert(Rand() % (s.size() + 1), 1, '\0');
        if (Rand() % 256 == 0) s += std::string(Rand() % 1200, 'x');
        return s;
    }

  private:
    unsigned Rand() {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(seed >> 33);
    }
    bool Roll(int in) { return Rand() % in != 0; }
    std::string Pick(std::initializer_list<const char*> from) {
        return from.begin()[Rand() % from.size()];
    }
    std::string Number() {
        if (Roll(3))
            return Pick({"0x01", "0xff", "0x00000181", "12", "0", "255", "256", "-1", "007", "08",
                         "0x", "0x1g", "+5", "-0x10", "4294967296", "18446744073709551615",
                         "18446744073709551616", "0x10000000000000000", "-9223372036854775809"});
        std::string s;
        for (int n = 1 + Rand() % 24; n > 0; n--) s += "0123456789abcdefxX+-"[Rand() % 20];
        return s;
    }
    uint64_t seed = 21;
};

}  // namespace

// A single line handed to the parser is cut at the line buffer, never overrun, and ends at a NUL;
// whatever the frame held before is released.
TEST(LogParserTest, LineEndsAtTheBufferOrANul) {
    const auto parse = [](std::string line) {
        CANframe f;
        f.SetText("old");
        const bool parsed = QuillonLogParser().Parse(line.data(), f);
        return Describe(parsed, f);
    };
    EXPECT_EQ(parse(std::string(5000, 'x')), "T 0 1 0 " + std::string(1000, 'x'));
    char nul[] = "12 CAN1: 0x1 - 1\0 2 3";
    EXPECT_EQ(parse(std::string(nul, sizeof nul)), "D 12 1 0x1 1");
}

// The reader, which parses lines in place in large blocks, against fgets and the plain reading of
// each line, on generated lines of every kind: frames, text, malformed, NUL bytes, overlong.
TEST(LogParserTest, BlockReaderAgreesWithPlainReading) {
    TempDir dir;
    LineMaker maker;
    std::vector<std::string> lines(kLines);
    std::string text;
    for (auto& line : lines) text += (line = maker.Make()) + "\n";
    text.pop_back();  // the last line ends without a newline
    WriteFile(dir.file("lines.log"), text);
    // Not through OpenLogFile, which refuses a file with NUL bytes in its first lines.
    auto reader = std::make_unique<LogReader>(std::fopen(dir.file("lines.log").c_str(), "rb"),
                                              std::make_unique<QuillonLogParser>());
    for (int i = 0; i < kLines; i++) {
        CANframe frame;
        const bool parsed = reader->getNextFrame(frame);
        // A line buffer holds 999 characters of a line, the newline included; a NUL ends it early.
        const std::string line = (lines[i] + "\n").substr(0, 999);
        ASSERT_EQ(Describe(parsed, frame), Reference(line.c_str())) << "line " << i + 1;
    }
    CANframe frame;
    EXPECT_THROW(while (!reader->getNextFrame(frame)){}, EndOfFileException);
}
