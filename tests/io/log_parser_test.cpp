#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

// The grammar read the plain way: the line split into strings, numbers read by strtoul/strtol.
bool Number(const std::string& t, unsigned long* v) {
    char* end;
    *v = t[0] == '-' ? std::strtol(t.c_str(), &end, 0) : std::strtoul(t.c_str(), &end, 0);
    return std::isdigit(static_cast<unsigned char>(t[t[0] == '-' || t[0] == '+'])) && !*end;
}

std::string Reference(const std::string& line) {
    std::vector<std::string> tokens;
    std::vector<size_t> starts;
    for (size_t i = 0; i < line.size();) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            i++;
            continue;
        }
        size_t j = i;
        while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j]))) j++;
        tokens.push_back(line.substr(i, j - i));
        starts.push_back(i);
        i = j;
    }
    if (tokens.empty()) return "-";
    CANframe f;
    unsigned long v;
    const bool stamped = Number(tokens[0], &v);
    size_t at = stamped ? 1 : 0;
    if (stamped) f.timestamp = static_cast<uint32_t>(v);
    if (at >= tokens.size()) return "-";
    const std::string& w = tokens[at];
    const int type = w.rfind("CAN", 0) == 0     ? 0
                     : w.rfind("RTR", 0) == 0   ? 1
                     : w.rfind("ERROR", 0) == 0 ? 2
                                                : 3;
    size_t p = type == 2 ? 5 : 3;
    unsigned long port = 0;
    if (type < 3 && p < w.size() && std::isdigit(static_cast<unsigned char>(w[p]))) {
        size_t q = p;
        while (q < w.size() && std::isalnum(static_cast<unsigned char>(w[q]))) q++;
        const std::string digits = w.substr(p, q - p);
        char* end;
        port = std::strtoul(digits.c_str(), &end, 0);
        p += end - digits.c_str();
    }
    if (type < 3 && w.compare(p, 1, ".") == 0)
        p = (w.compare(p, 2, ".R") == 0 || w.compare(p, 2, ".X") == 0) ? p + 2 : std::string::npos;
    if (type == 3 || port > 255 || p == std::string::npos || w.substr(p) != ":") {
        std::string text = line.substr(stamped ? starts[1] : 0);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
            text.pop_back();
        f.SetText(text.c_str());
        f.unstamped = !stamped;
        return Describe(true, f);
    }
    f.type = type;
    f.port = static_cast<uint8_t>(port);
    if (++at >= tokens.size()) return Describe(type == FRAME_ERROR, f);
    if (!Number(tokens[at], &v)) return "-";
    f.id = static_cast<uint32_t>(v);
    if (++at >= tokens.size()) return Describe(type != FRAME_DATA, f);
    if (tokens[at] != "-") return "-";
    if (++at < tokens.size() && type == FRAME_DATA && tokens[at].rfind("RMT", 0) == 0) {
        f.type = FRAME_RTR;
        return Describe(true, f);
    }
    for (; at < tokens.size() && f.length < 8; at++, f.length++) {
        if (!Number(tokens[at], &v) || v > 255) return "-";
        f.data[f.length] = static_cast<uint8_t>(v);
    }
    return Describe(at == tokens.size(), f);
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

// The reader, which parses lines in place in large blocks, against fgets and the plain reading of
// each line, on generated lines of every kind: frames, text, malformed, NUL bytes, overlong.
TEST(LogParserTest, BlockReaderAgreesWithPlainReading) {
    TempDir dir;
    const std::string path = dir.file("lines.log");
    {
        LineMaker maker;
        FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(out);
        for (int i = 0; i < kLines; i++) {
            const std::string line = maker.Make();
            std::fwrite(line.data(), 1, line.size(), out);
            if (i + 1 < kLines) std::fputc('\n', out);  // the last line ends without one
        }
        std::fclose(out);
    }
    // Not through OpenLogFile, which refuses a file with NUL bytes in its first lines.
    auto reader = std::make_unique<LogReader>(std::fopen(path.c_str(), "rb"),
                                              std::make_unique<QuillonLogParser>());
    // A line buffer holds 999 characters of a line, the newline included; a NUL ends it early.
    FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(in);
    char* buffer = nullptr;
    size_t size = 0;
    int lines = 0;
    for (ssize_t len; (len = getline(&buffer, &size, in)) > 0; lines++) {
        CANframe frame;
        const bool parsed = reader->getNextFrame(frame);
        const std::string line(buffer, std::min<size_t>(len, 999));
        ASSERT_EQ(Describe(parsed, frame), Reference(line.c_str())) << "line " << lines + 1;
    }
    std::free(buffer);
    std::fclose(in);
    EXPECT_EQ(lines, kLines);
    CANframe frame;
    EXPECT_THROW(while (!reader->getNextFrame(frame)){}, EndOfFileException);
}
