// quillon-dump, run as scripts run it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <iomanip>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/utils.h"
#include "support/test_support.h"

namespace {

const std::string kData = TEST_DATA_DIR;

// quillon-dump run in folder dir, so that relative paths (also those inside a configuration)
// resolve there, with the environment entries env.
ProcessResult Dump(std::vector<std::string> args, const std::string& dir = kData,
                   const std::vector<std::string>& env = {}) {
    // A run that hangs fails after a minute (status 124) instead of holding up the suite.
    args.insert(args.begin(),
                {"/bin/sh", "-c", "cd \"$0\" && exec timeout 60 \"$@\"", dir, QUILLON_DUMP_BIN});
    return RunProcess(args, env);
}

// Arguments as a shell splits them, with blanks inside double quotes.
std::vector<std::string> Words(const std::string& line) {
    std::istringstream words(line);
    std::vector<std::string> args;
    for (std::string arg; words >> std::quoted(arg);) args.push_back(arg);
    return args;
}

// A run of the arguments of line, led by the environment entries it gets (QUILLON_SIM=...).
ProcessResult DumpLine(const std::string& line) {
    std::vector<std::string> args = Words(line), env;
    for (; !args.empty() && args[0].rfind("QUILLON_", 0) == 0; args.erase(args.begin()))
        env.push_back(args[0]);
    return Dump(args, kData, env);
}

// The golden cases, one per line of data/golden.txt: the expected output file, then the arguments
// quillon-dump is run with in data/. With QUILLON_UPDATE_GOLDEN=1 they write the output to those
// files instead (`QUILLON_UPDATE_GOLDEN=1 ctest --test-dir build -R Golden`): review the diff.
struct GoldenTest : ::testing::Test {
    explicit GoldenTest(std::string line) : line(std::move(line)) {}
    void TestBody() override {
        const size_t blank = line.find(' ');
        const std::string expected = line.substr(0, blank);
        ProcessResult r = DumpLine(line.substr(blank + 1));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        ExpectGolden(kData + "/" + expected, r.out);
    }
    std::string line;
};

// Registered as plain tests named after the expected file (Golden.nmt_detail_txt), so that
// ctest lists a failing case by that name alone.
[[maybe_unused]] const bool kGoldenRegistered = [] {
    std::istringstream manifest(ReadFile(kData + "/golden.txt"));
    for (std::string line; std::getline(manifest, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::string name = line.substr(0, line.find(' '));
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        ::testing::RegisterTest("Golden", name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                                [line]() -> ::testing::Test* { return new GoldenTest(line); });
    }
    return true;
}();

// The runs of data/failures.txt that fail or warn: after "$" the arguments, then the exit status
// and the standard error.
TEST(QuillonDumpTest, ReportsFailures) {
    const std::string help = ReadFile(kData + "/help.txt");
    std::vector<std::pair<std::string, std::string>> runs;
    std::istringstream file(ReadFile(kData + "/failures.txt"));
    for (std::string line; std::getline(file, line);)
        if (line[0] == '$')
            runs.push_back({line.substr(1), ""});
        else if (!runs.empty() && line[0] != '#')
            runs.back().second += line == "<help.txt>" ? help : line + "\n";
    EXPECT_EQ(runs.size(), 61u);
    for (const auto& [args, want] : runs) {
        ProcessResult r = DumpLine(args);
        EXPECT_EQ(std::to_string(r.exitCode) + "\n" + r.err, want) << args;
    }
    // The preferences are read, never written, and their problems never reach standard output.
    TempDir home, broken;
    const std::string clean = Dump({"-j", "small.log"}).out;
    ProcessResult r =
        RunProcess({QUILLON_DUMP_BIN, "-j", kData + "/small.log"}, {"HOME=" + home.path()});
    EXPECT_TRUE(r.out == clean && !std::filesystem::exists(home.file(".Quillon")));
    WriteFile(broken.file("prefs.cfg"), "[Quillon]\n  Font:3\n");  // never closed
    rename(broken.path().c_str(), (home.path() + "/.Quillon").c_str());
    r = RunProcess({QUILLON_DUMP_BIN, "-j", kData + "/small.log"}, {"HOME=" + home.path()});
    EXPECT_EQ(r.out + r.err, clean + "Error loading cfg file: 2\n");
    // Output that cannot be written is an error.
    r = RunProcess(
        {"/bin/sh", "-c", "exec \"$0\" \"$1\" >/dev/full", QUILLON_DUMP_BIN, kData + "/small.log"});
    EXPECT_EQ(std::to_string(r.exitCode) + " " + r.err,
              "1 quillon-dump: cannot write the output: No space left on device\n");
    r = Dump({"-q", "-s", "small.log"});
    EXPECT_EQ(std::to_string(r.exitCode) + r.out + r.err.substr(0, 20), "0frames: 7, seconds: ");
    EXPECT_NE(r.err.find(" kB, dropped lines: 1\n"), std::string::npos) << r.err;
}

TEST(QuillonDumpTest, NamesObjectsFromTheNetworkConfiguration) {
    // The example configuration, from the project folder as the README runs it (its EDS paths
    // are relative to its own folder), names as the golden case's copy of it does.
    ProcessResult r =
        Dump({"-d", "-n", EXAMPLES_DIR "/demo.netcfg", kData + "/named.log"}, EXAMPLES_DIR "/..");
    EXPECT_EQ(std::to_string(r.exitCode) + r.out + r.err,
              "0" + ReadFile(kData + "/named.detail.txt"));
    // A FIFO would block the reading for ever: refused like any file that is not a regular one.
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    r = Dump({dir.file("fifo")});
    EXPECT_EQ(std::to_string(r.exitCode) + r.err,
              "1Unable to open log file: " + dir.file("fifo") + "\n");
}

// A capture prints its frames while it runs, also into a pipe, so that a bus can be watched as
// it comes: a bus that sends five frames and then nothing fills no output buffer, so its rows
// arrive while the capture (which has no limit) goes on only when they are written out as they
// come; the test gives them 10 s. SIGINT then ends the capture with every frame printed, each
// once and in store order.
TEST(QuillonDumpTest, PrintsFramesWhileCapturing) {
    TempDir dir;
    const ProcessResult r = RunProcess(
        {"/bin/bash", "-c",
         "mkfifo \"$0/out\" || exit 9; QUILLON_SIM=\"$1\" \"$2\" -m raw -s -p 0:0 "
         ">\"$0/out\" 2>\"$0/err\" & pid=$!; trap \"kill $pid 2>/dev/null\" EXIT; exec "
         "3<\"$0/out\"; rows=; "
         "for i in 1 2 3 4 5; do IFS= read -t 10 -r row <&3 || exit 8; rows=\"$rows$row\n\"; "
         "done; kill -INT $pid; printf \"$rows\"; cat <&3; wait $pid",
         dir.path(), kData + "/few_frames.cfg", QUILLON_DUMP_BIN});
    ASSERT_EQ(r.exitCode, 0) << "8: the rows did not come while the capture ran";
    EXPECT_EQ(ReadFile(dir.file("err")).rfind("frames: 5,", 0), 0u) << ReadFile(dir.file("err"));
    // Rows are "port, store index, ...": the indexes run from 0 without a gap.
    int rows = 0, gaps = 0;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line); rows++) {
        const size_t from = line.find('\t') + 1;
        gaps += line.substr(from, line.find('\t', from) - from) != std::to_string(rows);
    }
    EXPECT_EQ(gaps, 0) << r.out;
    EXPECT_EQ(rows, 5) << r.out;
}

// Live capture from emulated cards: two flooded buses read to their last frame and saved.
TEST(QuillonDumpTest, CapturesEmulatedPorts) {
    constexpr uint32_t kFramesEach = 3000;
    TempDir dir;
    const std::vector<std::string> sim = {"QUILLON_SIM=" + kData + "/two_floods.cfg"};
    // A store far smaller than the capture: the saved log holds every frame all the same.
    ProcessResult r = Dump({"-m", "raw", "-j", "-c", "1000", "-p", "0:0", "-p", "1:0", "-N", "6000",
                            "-w", dir.file("saved.log")},
                           dir.path(), sim);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Port p's frames carry its flood's sequence (data bytes 0-3, little-endian) and byte 4 = p.
    std::vector<uint32_t> next(2, 0);
    int wrong = 0;
    const std::regex row("^\\{\"port\":([01]),.*\"data\":\"(\\w{10})");
    std::istringstream lines(r.out);
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
        const int port = std::regex_search(line, m, row) ? m[1].str()[0] - '0' : -1;
        const uint32_t n = port < 0 ? 0 : next[port]++;
        wrong += port < 0 || m[2] != Format("%02x%02x%02x%02x%02d", n & 255, n >> 8 & 255,
                                            n >> 16 & 255, n >> 24, port);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(next, std::vector<uint32_t>(2, kFramesEach));
    // The saved log holds every stored frame: replayed, it gives the capture's output again.
    EXPECT_EQ(Dump({"-m", "raw", "-j", dir.file("saved.log")}).out, r.out);

    // SIGINT ends a capture cleanly once the saved log has begun: every frame stored is printed
    // and saved. (-T bounds a capture that would ignore the signal; -s tells it apart.)
    r = RunProcess({"/bin/sh", "-c",
                    "QUILLON_SIM=\"$0\" \"$1\" -m raw -j -s -T 50 -p 0:0 -w \"$2\" & pid=$!; "
                    "until [ -s \"$2\" ] || ! kill -0 $pid; do sleep 0.05; done; "
                    "kill -INT $pid; wait $pid",
                    kData + "/two_floods.cfg", QUILLON_DUMP_BIN, dir.file("int.log")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Dump({"-m", "raw", "-j", dir.file("int.log")}).out, r.out);
    EXPECT_LT(std::stod(r.err.substr(r.err.find("seconds: ") + 9)), 50) << r.err;
}

// Eight flooded ports read at once: the frames are stored in time-stamp order within the merge's
// window, each port's in the order it was sent, and nothing is lost. A frame stamped before one
// stored earlier came too late for its place: exactly those are counted as late frames (-s).
TEST(QuillonDumpTest, MergesEightPortsInTimeOrder) {
    constexpr int kPorts = 8;
    std::vector<std::string> args = {"-m", "raw", "-j", "-s", "-N", "40000"};
    for (int p = 0; p < kPorts; p++) args.insert(args.end(), {"-p", Format("%d:0", p)});
    const ProcessResult r = Dump(args, kData, {"QUILLON_SIM=flood"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Port p's frames carry its flood's sequence (data bytes 0-3, little-endian) and byte 4 = p.
    const std::regex row(
        "^\\{\"port\":([0-7]),\"msg\":\\d+,\"timestamp\":(\\d+),.*"
        "\"data\":\"(\\w{2})(\\w{2})(\\w{2})(\\w{2})(\\w{2})");
    std::vector<long> next(kPorts, 0);
    long frames = 0, wrong = 0, outOfOrder = 0;
    unsigned long long newest = 0;
    std::istringstream lines(r.out);
    std::smatch m;
    for (std::string line; std::getline(lines, line); frames++) {
        if (!std::regex_search(line, m, row)) {
            wrong++;
            continue;
        }
        const int port = std::stoi(m[1]);
        const unsigned long long stamp = std::stoull(m[2]);
        long seq = 0;
        for (int b = 6; b >= 3; b--) seq = seq * 256 + std::stol(m[b], nullptr, 16);
        // Frames lost to a full receive queue (overruns) leave gaps; the order stays.
        wrong += seq < next[port] || std::stoi(m[7], nullptr, 16) != port;
        next[port] = seq + 1;
        if (stamp < newest) outOfOrder++;
        newest = std::max(newest, stamp);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(frames, 40000);
    std::smatch count;
    const long late = std::regex_search(r.err, count, std::regex(", late frames: (\\d+)"))
                          ? std::stol(count[1])
                          : 0;
    EXPECT_EQ(outOfOrder, late) << r.err;
    ASSERT_TRUE(std::regex_search(r.err, count, std::regex(", overruns: (\\d+)"))) << r.err;
    long sent = 0;  // up to the last frame received of each port
    for (long n : next) sent += n;
    EXPECT_EQ(frames, std::stol(r.err.substr(r.err.find("frames: ") + 8))) << r.err;
    const long overruns = std::stol(count[1]);
    if (overruns == 0) {
        EXPECT_EQ(frames, sent);
    }
    EXPECT_LE(sent - frames, overruns);
}

// -w saves every frame read, whatever the store's size: a replay waits for the file. A full disk
// is told when it happens and the statistics follow with the frames the file lacks.
TEST(QuillonDumpTest, SavesEveryFrameAndTellsAFullDisk) {
    TempDir dir;
    std::string log;
    for (int i = 0; i < 100000; i++)
        log += Format("%9d CAN1: 0x%08x - 0x%02x \n", i, i, i & 0xFF);  // as the writer writes
    WriteFile(dir.file("in.log"), log);
    ProcessResult r = Dump({"-q", "-c", "1000", "-w", dir.file("saved.log"), dir.file("in.log")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ReadFile(dir.file("saved.log")) == log);  // (no diff of 3 MB)

    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    r = Dump({"-q", "-s", "-w", "/dev/full", dir.file("in.log")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
              "quillon-dump: cannot write /dev/full: No space left on device\n");
    EXPECT_NE(r.err.find("\nframes: 100000, "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(", frames not written: 100000"), std::string::npos) << r.err;
}

// Ports whose cards answer busy now and then are read as any other, every frame of their buses
// printed; a card that stays busy fails (see failures.txt) and is listed as busy
// (busy_cards.list.txt).
TEST(QuillonDumpTest, CapturesFromCardsThatAnswerBusy) {
    for (const char* port : {"0:0", "2:0"}) {
        ProcessResult r = Dump({"-m", "raw", "-j", "-p", port, "-N", "10"}, kData,
                               {"QUILLON_SIM=busy_cards.cfg"});
        EXPECT_EQ(r.exitCode, 0) << port << ": " << r.err;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 10) << port;
    }
}

// A 29-bit frame captured live reads back from the saved log as the same frame, flag and all.
TEST(QuillonDumpTest, SavedLogKeepsTheExtendedFlag) {
    TempDir dir;
    ProcessResult r =
        Dump({"-m", "raw", "-j", "-p", "0:0", "-N", "20", "-w", dir.file("saved.log")}, dir.path(),
             {"QUILLON_SIM=" + kData + "/extended_flood.cfg"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 20);
    EXPECT_NE(r.out.find("\"ext\":true"), std::string::npos) << r.out;
    EXPECT_EQ(Dump({"-m", "raw", "-j", dir.file("saved.log")}).out, r.out);
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

    // Meanwhile it invalidates node 4's TPDOs, saves and restores its parameters and resets it:
    // with the node's EDS, every TPDO frame decodes by the defaults the node has again.
    TempDir cfg;
    WriteFile(cfg.file("cct.netcfg"),
              "[NetCFG]\n[Network]\nname:CCT\nport:0\neds:\n[Node]\n"
              "name:demo\nid:4\neds:" SHARED_DATA_DIR
              "/CANopenDemo/demoDevice.eds\n[END]\n[END]\n[END]\n");
    r = Dump({"-n", cfg.file("cct.netcfg"), dir + "/CANopenDemo_CCT_report.log"});
    for (const std::string id : {"184\t", "284\t"}) {
        const std::string decoded = id + "0\tTPDO" + id[0] + "<-4: Input=";
        size_t frames = 0, asMapped = 0;
        for (size_t at = 0; (at = r.out.find("0x00000" + id, at)) != std::string::npos; at++) {
            frames++;
            asMapped += r.out.compare(at + 7, decoded.size(), decoded) == 0;
        }
        EXPECT_TRUE(frames > 100 && asMapped == frames) << id << frames << " " << asMapped;
    }
}

}  // namespace
