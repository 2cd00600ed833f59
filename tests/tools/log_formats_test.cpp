// Logs of other tools: what candump, python-can and can-utils make of the logs quillon-dump
// writes, and what quillon-dump makes of theirs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/utils.h"
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

// frames with the error bits of their error lines left out.
std::string WithoutErrorBits(const std::string& frames) {
    return std::regex_replace(frames, std::regex("(ERROR[0-9]+:) 0x[0-9a-f]+"), "$1");
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
    // ASC error frames carry no error bits.
    EXPECT_EQ(Frames(dir.file("their.asc")), WithoutErrorBits(Frames(candump)));
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
            // Some of them end without an end of line, which -s tells.
            EXPECT_TRUE(std::regex_search(
                r.err, std::regex("dropped lines: 0(, the file ends inside a line)?\n")))
                << path << r.err;
        }
    }
    // The same traffic as PEAK's recordings, as candump logs and as our own logs.
    for (const std::string name : {"pcan1", "pcan2"}) {
        const std::string frames = Frames(kShared + "/qlog/" + name + ".log");
        EXPECT_EQ(Frames(kShared + "/canopen-message-interpreter/" + name + ".trc"), frames);
        EXPECT_EQ(Frames(kShared + "/derived/" + name + ".candump.log"), frames);
    }
}

// The error classes a port keeps survive reading a candump log and writing every format that
// carries them: candump and the program's own (what each writes: the golden cases
// error_classes.*).
TEST(LogFormatsTest, ErrorClassesSurviveTheFormatsThatCarryThem) {
    const std::string candump = kData + "/error_classes.candump.log";
    const std::string errors = Frames(candump);
    TempDir dir;
    for (const std::string format : {"candump", "quillon"}) {
        ProcessResult r = Dump({"-o", format, candump});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        WriteFile(dir.file("errors." + format), r.out);
        EXPECT_EQ(Frames(dir.file("errors." + format)), errors) << format;
    }
}

// A frame a format cannot carry as it is (an 11-bit frame with a larger identifier, bits above
// the 29) is left out and told, never written as another frame.
TEST(LogFormatsTest, WritersLeaveOutIdentifiersTheyCannotCarry) {
    TempDir dir;
    for (const std::string format : {"candump", "asc", "trc"}) {
        ProcessResult r = Dump({"-o", format, kData + "/unfit_ids.log"});
        EXPECT_EQ(std::to_string(r.exitCode) + r.err,
                  "1quillon-dump: 3 frames left out: the log format cannot carry their "
                  "identifiers\n")
            << format;
        WriteFile(dir.file("out." + format), r.out);
        EXPECT_EQ(Frames(dir.file("out." + format)),
                  "        0 CAN0: 0x00000181 - 0x02 \n      200 CAN1: 0x20000123 - 0x03 \n")
            << format;
    }
}

// A TRC bus that is no bus 1 to 256 drops its line instead of passing for port 0.
TEST(LogFormatsTest, TrcLinesOfNoBusAreDropped) {
    ProcessResult r = Dump({"-s", "-o", "quillon", kData + "/bad_bus.trc"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "        0 CAN1: 0x00000181 - 0x04 \n");
    EXPECT_NE(r.err.find(", dropped lines: 3\n"), std::string::npos) << r.err;
}

// A byte-order mark before the first line is no part of it, in every format. (A first line like
// another tool's header is LogFormatTest.FrameLinesDecideTheFormat's.)
TEST(LogFormatsTest, FirstLinesReadAsTheyAre) {
    TempDir dir;
    for (const std::string name : {"small.log", "formats.candump.log", "formats.asc"}) {
        const std::string marked = dir.file("marked_" + name);
        WriteFile(marked, "\xEF\xBB\xBF" + ReadFile(kData + "/" + name));
        EXPECT_EQ(Dump({"-m", "raw", "-j", marked}).out,
                  Dump({"-m", "raw", "-j", kData + "/" + name}).out)
            << name;
    }
}

// -s tells a log cut inside its last line (the line is read); a tail of NULs stops the reading
// with a message, and NUL lines before are dropped lines.
TEST(LogFormatsTest, CutAndBinaryTailsAreTold) {
    TempDir dir;
    const std::string frame = "      123 CAN1: 0x00000181 - 0x01 \n";
    WriteFile(dir.file("cut.log"), frame + "      124 CAN1: 0x00000181 - 0x0");
    ProcessResult r = Dump({"-s", "-o", "quillon", dir.file("cut.log")});
    EXPECT_EQ(r.out, frame + "      124 CAN1: 0x00000181 - 0x00 \n");
    EXPECT_NE(r.err.find(", dropped lines: 0, the file ends inside a line\n"), std::string::npos)
        << r.err;
    // The start of a file is checked whole (any NUL refuses it): the NULs come after it.
    std::string lead;
    while (lead.size() < (1 << 17)) lead += frame;
    WriteFile(dir.file("nul.log"),
              lead + std::string(4096, '\0') + "\n" + frame + std::string(1 << 20, '\0') + frame);
    r = Dump({"-s", "-o", "quillon", dir.file("nul.log")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out == lead + frame) << r.out.size();
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
              "quillon-dump: " + dir.file("nul.log") +
                  Format(": reading stopped at byte %zu, where the file turns binary\n",
                         lead.size() + 4097 + frame.size()));
    EXPECT_NE(r.err.find(", dropped lines: 1\n"), std::string::npos) << r.err;
}

}  // namespace
