// Logs of other tools: what candump, python-can and can-utils make of the logs quillon-dump
// writes, and what quillon-dump makes of theirs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

const std::string kData = TEST_DATA_DIR;
const std::string kShared = SHARED_DATA_DIR;

ProcessResult Dump(std::vector<std::string> args) {
    args.insert(args.begin(), {"/usr/bin/timeout", "60", QUILLON_DUMP_BIN});
    return RunProcess(args);
}

// The frame lines (no text) of the log at path as quillon-dump -o quillon writes them; kinds
// leaves out lines of other kinds, anyPort writes error lines without their port.
std::string Frames(const std::string& path, const std::string& kinds = "CAN|RTR|ERROR",
                   bool anyPort = false) {
    ProcessResult r = Dump({"-o", "quillon", path});
    EXPECT_EQ(r.exitCode, 0) << path << ": " << r.err;
    const std::regex frame(" (" + kinds + ")[0-9]+:");
    const std::regex errorPort("ERROR[0-9]+:");
    std::istringstream lines(r.out);
    std::string frames;
    for (std::string line; std::getline(lines, line);)
        if (std::regex_search(line, frame))
            frames += (anyPort ? std::regex_replace(line, errorPort, "ERROR:") : line) + "\n";
    return frames;
}

TEST(LogFormatsTest, PythonCanReadsWhatWeWriteAndWeReadWhatItWrites) {
    if (RunProcess({"/usr/bin/python3", "-c", "import can"}).exitCode != 0)
        GTEST_SKIP() << "python3-can is not installed";
    TempDir dir;
    for (const std::string format : {"candump", "asc", "trc"}) {
        const std::string ours = dir.file("ours." + format);
        const std::string theirs = dir.file("theirs." + format);
        ProcessResult written = Dump({"-o", format, kData + "/roundtrip.log"});
        ASSERT_EQ(written.exitCode, 0) << written.err;
        WriteFile(ours, written.out);
        WriteFile(dir.file("ours.jsonl"), Dump({"-m", "raw", "-j", ours}).out);
        // The script checks each message python-can reads against our frame, then writes them.
        ProcessResult r = RunProcess({"/usr/bin/python3", kData + "/pycan_roundtrip.py", format,
                                      ours, dir.file("ours.jsonl"), theirs});
        EXPECT_EQ(r.exitCode, 0) << format << ": " << r.err;
        // Its TRC reader knows only data frames; its ASC writer puts error frames on channel 1.
        const std::string kinds = format == "trc" ? "CAN" : "CAN|RTR|ERROR";
        EXPECT_EQ(Frames(theirs, kinds, format == "asc"), Frames(ours, kinds, format == "asc"))
            << format;
        EXPECT_EQ(Frames(ours), Frames(kData + "/roundtrip.log")) << format;
    }
}

TEST(LogFormatsTest, CanUtilsConvertersAgreeWithOurReading) {
    if (access("/usr/bin/log2asc", X_OK) != 0 || access("/usr/bin/asc2log", X_OK) != 0)
        GTEST_SKIP() << "can-utils is not installed";
    TempDir dir;
    // Their ASC of a candump log reads as the candump log does (log2asc needs real dates).
    const std::string candump = kData + "/formats.candump.log";
    ProcessResult r = RunProcess(
        {"/usr/bin/log2asc", "-I", candump, "-O", dir.file("their.asc"), "can0", "vcan1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Frames(dir.file("their.asc")), Frames(candump));
    // Their candump log of our ASC reads as our ASC does.
    WriteFile(dir.file("our.asc"), Dump({"-o", "asc", kData + "/roundtrip.log"}).out);
    r = RunProcess({"/usr/bin/asc2log", "-I", dir.file("our.asc"), "-O", dir.file("their.log")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Frames(dir.file("their.log")), Frames(kData + "/roundtrip.log"));
}

TEST(LogFormatsTest, ReadsRealLogsOfOtherToolsWhole) {
    if (!std::filesystem::is_directory(kShared)) GTEST_SKIP() << "no shared test data";
    for (const std::string folder : {"python-can", "canopen-message-interpreter", "derived"}) {
        for (const auto& entry : std::filesystem::directory_iterator(kShared + "/" + folder)) {
            const std::string path = entry.path().string();
            const std::string ext = entry.path().extension().string();
            if (ext != ".asc" && ext != ".trc" && ext != ".log") continue;
            ProcessResult r = Dump({"-q", "-s", path});
            EXPECT_EQ(r.exitCode, 0) << path;
            EXPECT_NE(r.err.find("dropped lines: 0\n"), std::string::npos) << path << r.err;
        }
    }
    // The same traffic as PEAK's recordings, as candump logs and as our own logs.
    for (const std::string name : {"pcan1", "pcan2"}) {
        const std::string frames = Frames(kShared + "/qlog/" + name + ".log");
        EXPECT_EQ(Frames(kShared + "/canopen-message-interpreter/" + name + ".trc"), frames);
        EXPECT_EQ(Frames(kShared + "/derived/" + name + ".candump.log"), frames);
    }
}

}  // namespace
