#include "session/cmd_line.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

// The usage text, to the byte.
const std::string kUsageText = ReadFile(TEST_DATA_DIR "/quillon_usage.txt");

std::string ModeError(const std::string& word) {
    return "Unable to parse mode value " + word +
           "\nvalid modes are:\n  RAW       - no parsing\n  CANopen   - Parse as CANopen "
           "messages\n  DeviceNet - Parse as DeviceNet messages\n";
}

struct Parsed {
    CmdLine line;
    int result;
    std::string out, err;
};

// Parses the arguments after the program name, capturing what is printed.
Parsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "quillon");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    Parsed p;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    p.result = p.line.Parse(static_cast<int>(argv.size()), argv.data());
    p.out = testing::internal::GetCapturedStdout();
    p.err = testing::internal::GetCapturedStderr();
    return p;
}

TEST(CmdLineTest, PrintsTextsAndResults) {
    const struct {
        std::vector<std::string> args;
        int result;
        std::string out, err;
    } cases[] = {
        {{}, 0, "", ""},
        {{"--help"}, 1, kUsageText, ""},
        {{"v", "-m", "bogus", "-b", "-h"}, 1, kUsageText, ""},  // help wins wherever it stands
        {{"c", "version"}, 1, "", "Version 1.06\n"},
        {{"-v", "-c"}, 0, "", ""},  // the usage shows them, but they are not options
        {{"-m", "CANopen"}, -1, "", ModeError("CANopen")},
        {{"--mode", ""}, -1, "", ModeError("")},
        {{"-b", "12x", "-m", "bogus"}, -1, "", "Error parsing parameter 12x\n"},
        {{"-b", "99999999999"}, -1, "", "Error parsing parameter 99999999999\n"},
        {{"-m", "bogus", "-p", "1x"}, -1, "", ModeError("bogus")},
        {{"-p", "0x", "--server", "--client"}, 0, "", ""},  // words the program has no use for
        {{"--baud"}, -1, "", "Argument --baud requires arguments to be passed\n"},
        {{"-f", "a.log", "-m"}, -1, "", "Argument -m requires arguments to be passed\n"},
    };
    for (const auto& c : cases) {
        std::string args;
        for (const auto& a : c.args) args += "[" + a + "]";
        Parsed p = Parse(c.args);
        EXPECT_EQ(p.result, c.result) << args;
        EXPECT_EQ(p.out, c.out) << args;
        EXPECT_EQ(p.err, c.err) << args;
    }
}

TEST(CmdLineTest, TakesOptionValues) {
    Parsed p = Parse({"c", "-b", "0x10", "-m", "raw", "-f", "one.log", "-f", "two.log"});
    ASSERT_EQ(p.result, 0) << p.err;
    EXPECT_TRUE(p.line.cmdMode && p.line.haveFile && p.line.mode == PARSE_RAW);
    EXPECT_EQ(std::to_string(p.line.baud) + " " + p.line.file, "16 one.log");  // the first -f
    EXPECT_STREQ(getVersion(), "1.06");

    EXPECT_EQ(Parse({}).line.mode, PARSE_CANOPEN);
    EXPECT_EQ(Parse({"--mode", "devicenet"}).line.mode, PARSE_DEVICENET);
    EXPECT_EQ(Parse({"-b", "010"}).line.baud, 8);  // strtol base 0: octal
    EXPECT_EQ(Parse({"-b", ""}).line.baud, 0);
    EXPECT_EQ(Parse({"-f", "-b", "5"}).line.file, "-b");  // the next argument, whatever it is
    // An empty argument is no option, not even one without a short form.
    Parsed empty = Parse({"", "-m", "raw"});
    EXPECT_TRUE(empty.result == 0 && empty.line.mode == PARSE_RAW);
}

}  // namespace
