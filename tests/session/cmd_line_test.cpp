#include "app/cmd_line.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/quillon.h"
#include "filter/fe_list.h"
#include "filter/filter_logic.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
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
        {{"-p", "0x"}, -1, "", "Error parsing parameter 0x\n"},
        {{"-m", "bogus", "-p", "1x"}, -1, "", ModeError("bogus")},
        {{"--baud"}, -1, "", "Argument --baud requires arguments to be passed\n"},
        {{"-f", "a.log", "-m"}, -1, "", "Argument -m requires arguments to be passed\n"},
        {{"--server"}, -1, "", "Argument --server requires arguments to be passed\n"},
        {{"--client"}, -1, "", "Argument --client requires arguments to be passed\n"},
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
    Parsed p = Parse({"c", "-b", "0x10", "-m", "raw", "-f", "one.log", "-f", "two.log", "-p",
                      "70000", "--server", "x", "--client", "host", "--mfginfo"});
    ASSERT_EQ(p.result, 0) << p.err;
    EXPECT_TRUE(p.line.cmdMode && p.line.haveFile && p.line.server && p.line.client &&
                p.line.mfgInfo && p.line.mode == PARSE_RAW);
    EXPECT_EQ(std::to_string(p.line.baud) + " " + std::to_string(p.line.port) + " " + p.line.file +
                  " " + p.line.serverName,  // only the first -f counts
              "16 4464 one.log host");      // the port kept in 16 bits

    EXPECT_EQ(Parse({}).line.mode, PARSE_CANOPEN);
    EXPECT_EQ(Parse({"--mode", "devicenet"}).line.mode, PARSE_DEVICENET);
    EXPECT_EQ(Parse({"-b", "010"}).line.baud, 8);  // strtol base 0: octal
    EXPECT_EQ(Parse({"-b", ""}).line.baud, 0);
    EXPECT_EQ(Parse({"-f", "-b", "5"}).line.file, "-b");  // the next argument, whatever it is
    // An empty argument is no option, not even one without a short form.
    Parsed empty = Parse({"", "-m", "raw"});
    EXPECT_TRUE(empty.result == 0 && !empty.line.server);
}

// A main window that counts the log threads' notices.
struct NoticeCounter : MainFrame {
    void OpenLogFile(const std::string&) override {}
    void GetXY(int& x, int& y) override { x = y = 0; }
    MsgDetail* GetMsgDetail() override { return nullptr; }
    void LogReadDone() override { reads++; }
    std::atomic<int> reads{0};
};

TEST(QuillonTest, WiresStoresDecoderFilterReadersAndNotices) {
    EXPECT_STREQ(Quillon::getVersion(), "1.06");
    Quillon q;
    q.CreateStores(100);
    q.SetParserMode(PARSE_CANOPEN);
    NoticeCounter window;
    q.mainFrame = &window;
    FeList elements;
    elements.Add(std::make_unique<FeCanID>(0x080, 0x7FF));
    q.SetFilter(CreateFilterLogic("!A", elements));
    q.readMgr.ReadLogFile(TEST_DATA_DIR "/small.log", true);
    q.readMgr.StopAll();  // waits until the reader has sent its notice
    EXPECT_EQ(window.reads, 1);
    EXPECT_EQ(q.msgStore->GetTotal(nullptr, nullptr), 7);
    EXPECT_EQ(q.filtStore->GetTotal(nullptr, nullptr), 6);  // the SYNC frame filtered out
    q.mainFrame = nullptr;

    // New stores keep the decoder's mode, with a decoder that scans the new store.
    for (int round = 0; round < 2; round++) {
        q.CreateStores(50);
        CANframe request, reply;
        request.type = FRAME_RTR;
        request.id = reply.id = 0x705;
        q.msgStore->Add(request);
        q.msgStore->Add(reply);
        ASSERT_TRUE(q.msgStore->Get(1, reply));
        EXPECT_EQ(reply.txPrev, 0);
    }
    q.SetParserMode(PARSE_DEVICENET);
    EXPECT_EQ(q.parseMode, PARSE_RAW);
    EXPECT_EQ(q.msgStore->GetTotal(nullptr, nullptr), 0);  // a new decoder starts afresh

    CmdLine saved = cmdLine;
    cmdLine.client = true;
    EXPECT_TRUE(q.IsClient());
    cmdLine.server = true;  // a server is no client
    EXPECT_FALSE(q.IsClient());
    cmdLine = saved;
}

}  // namespace
