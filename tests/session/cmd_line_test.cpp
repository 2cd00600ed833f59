#include "session/cmd_line.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "base/utils.h"
#include "support/test_support.h"

namespace {

const std::string kData = TEST_DATA_DIR "/../../session/data/";

// The record of data/cmd_lines.txt for one command line: Parse's result, the options it leaves,
// what it prints on standard output, then on standard error after a "stderr:" line.
std::string Parse(const std::string& words) {
    std::istringstream in(words);
    std::vector<std::string> args = {"quillon"};
    for (std::string arg; in >> std::quoted(arg);) args.push_back(arg);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    CmdLine line;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int result = line.Parse(static_cast<int>(argv.size()), argv.data());
    std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    if (out == ReadFile(TEST_DATA_DIR "/quillon_usage.txt")) out = "<quillon_usage.txt>\n";
    return Format("%d mode %d baud %d file [%s] have %d cmd %d\n", result, line.mode, line.baud,
                  line.file.c_str(), line.haveFile, line.cmdMode) +
           out + (err.empty() ? "" : "stderr:\n" + err);
}

// Every "$" line of the file is run again and followed by its record.
TEST(CmdLineTest, ParsesTheCommandLinesOfTheDataFile) {
    const std::string expected = ReadFile(kData + "cmd_lines.txt");
    std::istringstream lines(expected);
    std::string got;
    for (std::string line; std::getline(lines, line);)
        if (line[0] == '#')
            got += line + "\n";
        else if (line[0] == '$')
            got += line + "\n" + Parse(line.substr(1));
    EXPECT_EQ(got, expected);
}

}  // namespace
