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

    // Each CANopen service the decoder knows, decoded line by line.
    r = Dump({"-d", kData + "/canopen.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, ReadFile(kData + "/canopen.detail.txt"));

    // Complete SDO transfers of every kind, expedited to block.
    r = Dump({"-d", kData + "/sdo.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, ReadFile(kData + "/sdo.detail.txt"));

    r = Dump({"-q", "-s", kData + "/small.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("frames: 7, seconds: ", 0), 0u) << r.err;
}

TEST(QuillonDumpTest, ReportsBadUse) {
    ProcessResult r = Dump({kData + "/no-such.log"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Unable to open log file: " + kData + "/no-such.log\n");
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
}

TEST(QuillonDumpTest, PrintsOnlyFramesThatPassTheFilter) {
    ProcessResult r =
        Dump({"-t", "-e", "id:0x780:0x180", "--element", "port:1", "-e", "obj:0x1000:any:<", "-e",
              "id:0x7ff:0x701", "--filter", "(A | D) & !B & C", kData + "/filter.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, ReadFile(kData + "/filter.txt"));

    // Filters that fail stop before the log is read (it does not exist here).
    const std::string log = kData + "/no-such.log";
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
        args.push_back(log);
        r = Dump(args);
        EXPECT_EQ(r.exitCode, 2) << c.err;
        EXPECT_EQ(r.err, c.err);
    }
    std::vector<std::string> many;
    for (int i = 0; i < 51; i++) many.insert(many.end(), {"-e", "port:1"});
    many.push_back(log);
    r = Dump(many);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.rfind("quillon-dump: at most 50 filter elements\n", 0), 0u) << r.err;

    // Object elements: the SDO exchange carries its object, every other frame object 0.
    r = Dump({"-e", "obj:0x1018:1", "-f", "A", kData + "/filter.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "0\t7\t0.004000\t0x00000601\t0\tSDO->1: get object 0x1018.0x01\n"
              "0\t8\t0.004100\t0x00000581\t0\tSDO<-1: object 0x1018.0x01 is 0x12345678\n");
    r = Dump({"-e", "obj:0:any", "-e", "obj:0x1018:1:>=", "-f", "a & !b", "-q", "-s",
              kData + "/filter.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err.rfind("frames: 9, ", 0), 0u) << r.err;
}

TEST(QuillonDumpTest, NamesObjectsFromTheNetworkConfiguration) {
    // The example configuration, from the project folder as the demo uses it.
    ProcessResult r =
        RunProcess({"/bin/sh", "-c",
                    "cd '" + std::string(EXAMPLES_DIR) + "/..' && '" + QUILLON_DUMP_BIN +
                        "' -n examples/demo.netcfg '" + kData + "/named.log' | cut -f6"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "SDO->5: get Vendor ID\n"
              "SDO<-5: Vendor ID is 0x12345678\n"
              "SDO->5: set Controlword to 0x000f\n"
              "SDO<-5: OK\n"
              "SDO->10: get Digital outputs 1-8\n"
              "SDO->10: get object 0x2000\n"
              "SDO->5: get Motor temperature\n"
              "SDO->5: get object 0x6041\n");
    r = Dump({"--netcfg", kData + "/no-such.cfg", kData + "/named.log"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Unable to open file\n");
    EXPECT_EQ(r.out, "");
    r = Dump({"-n", kData + "/small.log", kData + "/named.log"});
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
