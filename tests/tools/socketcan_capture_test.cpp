// quillon-dump on a virtual SocketCAN interface, where the machine allows one.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/can.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/utils.h"
#include "support/test_support.h"

namespace {

constexpr const char* kInterface = "qvcan0";
constexpr const char* kSecondInterface = "qvcan1";

// Creates a vcan interface for the test's lifetime; reason is empty when that worked.
class VcanInterface {
  public:
    explicit VcanInterface(std::string name) : name_(std::move(name)) {
        RunProcess({"/sbin/ip", "link", "del", "dev", name_});  // left by a killed run
        const ProcessResult add =
            RunProcess({"/sbin/ip", "link", "add", "dev", name_, "type", "vcan"});
        reason = add.exitCode == 0 ? "" : "no vcan interface can be made: " + add.err;
        if (add.exitCode == 0) RunProcess({"/sbin/ip", "link", "set", "up", name_});
    }
    ~VcanInterface() {
        if (reason.empty()) RunProcess({"/sbin/ip", "link", "del", "dev", name_});
    }
    std::string reason;

  private:
    std::string name_;
};

// The listing's line of the interface, or "".
std::string ListedLine(const std::string& listing, const std::string& name) {
    std::string line;
    std::istringstream lines(listing);
    while (std::getline(lines, line))
        if (line.find("\tSocketCAN " + name + "\t") != std::string::npos) return line;
    return "";
}

}  // namespace

// Virtual interfaces have no bit timing: asking libsocketcan about them makes it print
// "no link data found", which the listing must not show.
TEST(SocketCanCaptureTest, ListingShowsVcanInterfacesAndNothingOnStderr) {
    if (geteuid() != 0) GTEST_SKIP() << "making a vcan interface needs root";
    if (access("/sbin/ip", X_OK) != 0) GTEST_SKIP() << "no /sbin/ip to make a vcan interface";
    VcanInterface first(kInterface);
    if (!first.reason.empty()) GTEST_SKIP() << first.reason;
    VcanInterface second(kSecondInterface);
    ASSERT_EQ(second.reason, "");
    TempDir home;
    const ProcessResult r = RunProcess({QUILLON_DUMP_BIN, "-L"},
                                       {"HOME=" + home.path(), "QUILLON_SIM", "QUILLON_SOCKETCAN"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(ListedLine(r.out, kInterface), "") << r.out;
    EXPECT_NE(ListedLine(r.out, kSecondInterface), "") << r.out;
}

TEST(SocketCanCaptureTest, DumpReadsFramesSentOnAVcanInterface) {
    if (geteuid() != 0) GTEST_SKIP() << "making a vcan interface needs root";
    if (access("/sbin/ip", X_OK) != 0) GTEST_SKIP() << "no /sbin/ip to make a vcan interface";
    VcanInterface vcan(kInterface);
    if (!vcan.reason.empty()) GTEST_SKIP() << vcan.reason;
    TempDir home;
    const std::vector<std::string> env = {"HOME=" + home.path(), "QUILLON_SIM",
                                          "QUILLON_SOCKETCAN"};

    // The interface's port number, from the listing.
    ProcessResult r = RunProcess({QUILLON_DUMP_BIN, "-L"}, env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string port, line;
    std::istringstream lines(r.out);
    while (std::getline(lines, line))
        if (line.find(std::string("\tSocketCAN ") + kInterface + "\t") != std::string::npos)
            port = line.substr(0, line.find('\t'));
    ASSERT_FALSE(port.empty()) << r.out;

    // The test's raw socket sends until quillon-dump has stored its three frames.
    const int fd = socket(PF_CAN, SOCK_RAW, CAN_RAW);
    ASSERT_GE(fd, 0);
    sockaddr_can address{};
    address.can_family = AF_CAN;
    address.can_ifindex = static_cast<int>(if_nametoindex(kInterface));
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::atomic<bool> done{false};
    std::thread sender([&] {
        can_frame frame{};
        frame.can_id = 0x181;
        frame.can_dlc = 2;
        frame.data[0] = 0x12, frame.data[1] = 0x34;
        while (!done) {
            if (write(fd, &frame, sizeof frame) < 0) break;
            usleep(20000);
        }
    });
    r = RunProcess({"/usr/bin/timeout", "60", QUILLON_DUMP_BIN, "-m", "raw", "-p", port, "-N", "3"},
                   env);
    done = true;
    sender.join();
    close(fd);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    int rows = 0;
    std::istringstream out(r.out);
    while (std::getline(out, line)) {
        EXPECT_NE(line.find("\t0x00000181\t"), std::string::npos) << line;
        EXPECT_NE(line.find("0x12 0x34"), std::string::npos) << line;
        rows++;
    }
    EXPECT_GE(rows, 3) << r.out;  // frames stored while the third was announced are printed too
}

namespace {

// One frame as a candump log line shows it.
struct LoggedFrame {
    uint32_t id = 0;
    bool extended = false;
    bool remote = false;
    int length = 0;
    std::string data;  // hex digits
    std::string Describe() const {
        return Format("%X%s%s len %d data %s", id, extended ? " ext" : "", remote ? " rtr" : "",
                      length, data.c_str());
    }
    bool operator==(const LoggedFrame& o) const {
        return id == o.id && extended == o.extended && remote == o.remote && length == o.length &&
               data == o.data;
    }
};

// The frames of a candump log ("(SECONDS) IFACE ID#DATA", "ID#R[LEN]").
std::vector<LoggedFrame> ParseCandump(const std::string& text) {
    std::vector<LoggedFrame> frames;
    std::istringstream lines(text);
    std::string stamp, interface, body;
    while (lines >> stamp >> interface >> body) {
        LoggedFrame f;
        const size_t hash = body.find('#');
        const std::string id = body.substr(0, hash);
        f.extended = id.size() == 8;
        f.id = static_cast<uint32_t>(std::strtoul(id.c_str(), nullptr, 16));
        const std::string rest = body.substr(hash + 1);
        f.remote = !rest.empty() && rest[0] == 'R';
        if (f.remote)
            f.length = std::atoi(rest.c_str() + 1);
        else
            f.data = rest, f.length = static_cast<int>(rest.size() / 2);
        frames.push_back(f);
    }
    return frames;
}

// A child process running beside the test, its output in files; killed if the test leaves early.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::string& out, const std::string& err) {
        pid = fork();
        if (pid == 0) {
            setenv("QUILLON_SOCKETCAN", "1", 1);
            unsetenv("QUILLON_SIM");
            const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1), dup2(e, 2);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~Child() {
        if (pid > 0) kill(pid, SIGKILL), Wait();
    }
    // The exit status, -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, 0) == pid) pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid = -1;
};

// How many raw sockets receive every frame of the interface.
int Receivers(const std::string& name) {
    std::istringstream lines(ReadFile("/proc/net/can/rcvlist_all"));
    std::string line, word;
    int count = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        if (words >> word && word == name) count++;
    }
    return count;
}

// The interface's port number, from quillon-dump's listing.
std::string PortOf(const std::string& name, const std::string& home) {
    const ProcessResult r =
        RunProcess({QUILLON_DUMP_BIN, "-L"}, {"HOME=" + home, "QUILLON_SIM", "QUILLON_SOCKETCAN"});
    const std::string line = ListedLine(r.out, name);
    return line.substr(0, line.find('\t'));
}

std::string Why(const std::string& reason) {
    if (geteuid() != 0) return "making a vcan interface needs root";
    if (access("/sbin/ip", X_OK) != 0) return "no /sbin/ip to make a vcan interface";
    if (access("/usr/bin/cansend", X_OK) != 0 || access("/usr/bin/candump", X_OK) != 0)
        return "no can-utils";
    return reason;
}

// Each way of sending: the traffic, and how many frames it makes.
struct Traffic {
    const char* name;
    std::vector<std::vector<std::string>> commands;  // after the program, before the interface
    int frames;
};

void PrintTo(const Traffic& traffic, std::ostream* out) {
    *out << traffic.name;
}

const Traffic kTraffic[] = {
    {"cansend",
     {{"cansend", "123#"},
      {"cansend", "123#11"},
      {"cansend", "7FF#1122"},
      {"cansend", "000#112233"},
      {"cansend", "181#11223344"},
      {"cansend", "281#1122334455"},
      {"cansend", "381#112233445566"},
      {"cansend", "481#11223344556677"},
      {"cansend", "581#1122334455667788"},
      {"cansend", "00000001#"},
      {"cansend", "1FFFFFFF#AABBCCDDEEFF0011"},
      {"cansend", "12345678#01"},
      {"cansend", "00000123#R"},
      {"cansend", "123#R"},
      {"cansend", "123#R5"},
      {"cansend", "1ABCDEF0#R8"}},
     16},
};

}  // namespace

class SocketCanTrafficTest : public ::testing::TestWithParam<Traffic> {};

// quillon-dump and candump, side by side on one interface, record the same frames.
TEST_P(SocketCanTrafficTest, DumpStoresWhatCandumpRecords) {
    const std::string skip = Why("");
    if (!skip.empty()) GTEST_SKIP() << skip;
    VcanInterface vcan(kInterface);
    if (!vcan.reason.empty()) GTEST_SKIP() << vcan.reason;
    TempDir dir;
    const std::string port = PortOf(kInterface, dir.path());
    ASSERT_FALSE(port.empty());
    const Traffic& traffic = GetParam();
    const std::string count = std::to_string(traffic.frames);
    Child reference({"/usr/bin/candump", "-L", "-n", count, kInterface}, dir.file("candump"),
                    dir.file("candump.err"));
    Child dump({QUILLON_DUMP_BIN, "-m", "raw", "-p", port, "-N", count, "-o", "candump"},
               dir.file("dump"), dir.file("dump.err"));
    ASSERT_TRUE(WaitUntil([] { return Receivers(kInterface) == 2; }));
    for (std::vector<std::string> command : traffic.commands) {
        command[0] = "/usr/bin/" + command[0];
        command.insert(command.begin() + 1, kInterface);
        const ProcessResult sent = RunProcess(command);
        ASSERT_EQ(sent.exitCode, 0) << sent.err;
    }
    EXPECT_EQ(reference.Wait(), 0);
    EXPECT_EQ(dump.Wait(), 0) << ReadFile(dir.file("dump.err"));
    const std::vector<LoggedFrame> expected = ParseCandump(ReadFile(dir.file("candump")));
    const std::vector<LoggedFrame> got = ParseCandump(ReadFile(dir.file("dump")));
    ASSERT_EQ(expected.size(), static_cast<size_t>(traffic.frames))
        << ReadFile(dir.file("candump"));
    ASSERT_EQ(got.size(), expected.size()) << ReadFile(dir.file("dump"));
    for (size_t i = 0; i < got.size(); i++)
        EXPECT_EQ(got[i].Describe(), expected[i].Describe()) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(Senders, SocketCanTrafficTest, ::testing::ValuesIn(kTraffic),
                         [](const auto& info) { return std::string(info.param.name); });
