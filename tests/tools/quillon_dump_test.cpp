// quillon-dump, run as scripts run it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

const std::string kData = TEST_DATA_DIR;

ProcessResult Dump(std::vector<std::string> args) {
    args.insert(args.begin(), QUILLON_DUMP_BIN);
    return RunProcess(args);
}

TEST(QuillonDumpTest, PrintsTheFormatsToTheByte) {
    ProcessResult r = Dump({"-d", "-t", kData + "/small.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, ReadFile(kData + "/small.detail.txt"));
    EXPECT_EQ(r.err, "");

    // A store of two frames still prints every frame of the log.
    r = Dump({"--json", "--capacity", "2", "--mode", "raw", kData + "/small.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, ReadFile(kData + "/small.jsonl"));

    r = Dump({"-q", "-s", kData + "/small.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("frames: 7, seconds: ", 0), 0u) << r.err;
}

TEST(QuillonDumpTest, ReportsBadUse) {
    ProcessResult r = Dump({kData + "/no-such.log"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Unable to open log file: " + kData + "/no-such.log\n");
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
}

}  // namespace
