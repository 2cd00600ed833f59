// quillon-dump, run as scripts run it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

const std::string kData = TEST_DATA_DIR;

// quillon-dump run in folder dir, so that relative paths (also those inside a configuration)
// resolve there.
ProcessResult Dump(std::vector<std::string> args, const std::string& dir = kData) {
    args.insert(args.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", dir, QUILLON_DUMP_BIN});
    return RunProcess(args);
}

// The golden cases, one per line of data/golden.txt: the expected output file, then the arguments
// quillon-dump is run with in data/. With QUILLON_UPDATE_GOLDEN=1 they write the output to those
// files instead (`QUILLON_UPDATE_GOLDEN=1 ctest --test-dir build -R Golden`): review the diff.
std::vector<std::string> GoldenCases() {
    std::vector<std::string> cases;
    std::istringstream manifest(ReadFile(kData + "/golden.txt"));
    for (std::string line; std::getline(manifest, line);)
        if (!line.empty() && line[0] != '#') cases.push_back(line);
    return cases;
}

class GoldenTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenTest, PrintsTheExpectedOutput) {
    std::istringstream words(GetParam());
    std::string expected;
    words >> expected;
    std::vector<std::string> args;
    for (std::string arg; words >> std::quoted(arg);) args.push_back(arg);
    ProcessResult r = Dump(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    if (const char* update = std::getenv("QUILLON_UPDATE_GOLDEN"); update && *update == '1')
        WriteFile(kData + "/" + expected, r.out);
    else
        EXPECT_EQ(r.out, ReadFile(kData + "/" + expected));
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenTest, ::testing::ValuesIn(GoldenCases()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.find(' '));
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(QuillonDumpTest, ReportsBadUseAndFailingFilters) {
    ProcessResult r = Dump({"no-such.log"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Unable to open log file: no-such.log\n");
    r = Dump({kData});  // a folder is no log file (and must not hang the reader)
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Unable to open log file: " + kData + "\n");
    for (auto args : {std::vector<std::string>{},
                      {"-x", "a.log"},
                      {"-m", "devicenet", "a.log"},
                      {"-c", "1", "a.log"},
                      {"-c"},
                      {"a.log", "b.log"}}) {
        r = Dump(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("Usage: quillon-dump [options] LOGFILE"), std::string::npos);
    }
    r = Dump({"-h"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("Usage: quillon-dump [options] LOGFILE\n", 0), 0u);
    r = Dump({"-q", "-s", "small.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("frames: 7, seconds: ", 0), 0u) << r.err;

    // Filters that fail stop before the log is read (it does not exist here).
    const struct {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"-e", "id:0x7ff:0x800"},
         "There are some bits set in the ID value field which are not set in the ID mask.\n"
         "No message could ever match this filter as entered.\n"},
        {{"-e", "id:0x7fg:1"}, "Unable to parse ID mask: 0x7fg\n"},
        {{"-e", "id:0x7ff:"}, "Unable to parse ID value: \n"},
        {{"-e", "obj:x"}, "Unable to parse object ID: x\n"},
        {{"-e", "obj:0x1018:300x"}, "Unable to parse sub-id: 300x\n"},
        {{"-e", "obj:0x1018:1:=<"}, "Unable to parse filter element: obj:0x1018:1:=<\n"},
        {{"-e", "port:one"}, "Unable to parse port number: one\n"},
        {{"-e", "can:1"}, "Unable to parse filter element: can:1\n"},
        {{"-e", "port:1", "-f", "A & B"}, "Undefined filter element B in string\n"},
        {{"-e", "port:1", "-f", "A &"}, "Error parsing filter (empty string).\n"},
        {{"-f", "(A"}, "Error parsing filter string: Unbalanced parenthesis\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("no-such.log");
        r = Dump(args);
        EXPECT_EQ(r.exitCode, 2) << c.err;
        EXPECT_EQ(r.err, c.err);
    }
    std::vector<std::string> many;
    for (int i = 0; i < 51; i++) many.insert(many.end(), {"-e", "port:1"});
    many.push_back("no-such.log");
    r = Dump(many);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.rfind("quillon-dump: at most 50 filter elements\n", 0), 0u) << r.err;
}

TEST(QuillonDumpTest, NamesObjectsFromTheNetworkConfiguration) {
    // The example configuration, from the project folder as the README runs it, names as the
    // golden case's copy of it does.
    ProcessResult r = Dump({"-d", "-n", "examples/demo.netcfg", kData + "/named.log"},
                           std::string(EXAMPLES_DIR) + "/..");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, ReadFile(kData + "/named.detail.txt"));
    r = Dump({"--netcfg", "no-such.cfg", "named.log"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Unable to open file\n");
    EXPECT_EQ(r.out, "");
    r = Dump({"-n", "small.log", "named.log"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "File format error\n");
}

TEST(QuillonDumpTest, ReplaysRealTraffic) {
    const std::string dir = std::string(SHARED_DATA_DIR) + "/qlog";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no shared test data";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".log") continue;
        ProcessResult r = Dump({"-d", "-j", entry.path().string()});
        EXPECT_EQ(r.exitCode, 0) << entry.path();
        EXPECT_EQ(r.err, "") << entry.path();
        // One object per line of the file: every line of these logs is a frame.
        std::string text = ReadFile(entry.path().string());
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'),
                  std::count(text.begin(), text.end(), '\n'))
            << entry.path();
    }
    // The conformance run's thousands of aborted transfers are read as aborts.
    ProcessResult r = Dump({dir + "/CANopenDemo_CCT_report.log"});
    size_t aborts = 0;
    for (size_t at = 0; (at = r.out.find("SDO abort object", at)) != std::string::npos; at++)
        aborts++;
    EXPECT_GT(aborts, 4000u);
}

}  // namespace
