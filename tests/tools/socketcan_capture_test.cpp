// quillon-dump on a virtual SocketCAN interface, where the machine allows one.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/can.h>
#include <linux/can/error.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <memory>
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

// Creates a classic CAN vcan interface (a new one takes CAN FD frames too) for the test's
// lifetime; reason is empty when that worked.
class VcanInterface {
  public:
    explicit VcanInterface(std::string name) : name_(std::move(name)) {
        RunProcess({"/sbin/ip", "link", "del", "dev", name_});  // left by a killed run
        const ProcessResult add =
            RunProcess({"/sbin/ip", "link", "add", "dev", name_, "mtu", "16", "type", "vcan"});
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
TEST(SocketCanListingTest, ListingShowsVcanInterfacesAndNothingOnStderr) {
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
    // Port, card, port within the card, type, serial number, firmware, bit rate: none.
    for (const char* name : {kInterface, kSecondInterface}) {
        std::istringstream line(ListedLine(r.out, name));
        std::vector<std::string> fields;
        for (std::string field; std::getline(line, field, '\t');) fields.push_back(field);
        ASSERT_EQ(fields.size(), 11u) << r.out;
        EXPECT_EQ(fields[3], std::string("SocketCAN ") + name);
        EXPECT_EQ(fields[6], "-");
        EXPECT_EQ(fields[7], "Port Closed");
    }
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
        // The program writes every error frame with the bus-error class, which python-can needs
        // to know it as one, and with its error counters (bytes 6 and 7) marked as present.
        if (f.id & CAN_ERR_FLAG) f.id &= ~(CAN_ERR_BUSERROR | CAN_ERR_CNT);
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
// It is stopped (SIGTERM) after a minute, so that a program waiting for frames that never come
// shows what it has.
class Child {
  public:
    Child(std::vector<std::string> argv, const std::string& out, const std::string& err) {
        argv.insert(argv.begin(), {"/usr/bin/timeout", "60"});
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

// Why no test on a vcan interface can run here, "" when they can.
std::string Why() {
    if (geteuid() != 0) return "making a vcan interface needs root";
    if (access("/sbin/ip", X_OK) != 0) return "no /sbin/ip to make a vcan interface";
    if (access("/usr/bin/cansend", X_OK) != 0 || access("/usr/bin/candump", X_OK) != 0)
        return "no can-utils";
    return "";
}

}  // namespace

// A test on the vcan interface kInterface, skipped where none can be made: dir is its scratch
// folder and the programs' home, port the interface's port number.
class SocketCanCaptureTest : public testing::Test {
  protected:
    void SetUp() override {
        if (const std::string skip = Why(); !skip.empty()) GTEST_SKIP() << skip;
        vcan = std::make_unique<VcanInterface>(kInterface);
        if (!vcan->reason.empty()) GTEST_SKIP() << vcan->reason;
        port = PortOf(kInterface, dir.path());
        ASSERT_FALSE(port.empty());
    }
    std::unique_ptr<VcanInterface> vcan;
    TempDir dir;
    std::string port;
};

namespace {

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
    // Lengths 0 to 8 in turn, random identifiers and data, 11- and 29-bit; remote frames of both.
    {"cangen",
     {{"cangen", "-g", "1", "-n", "90", "-L", "i"},
      {"cangen", "-g", "1", "-n", "90", "-e", "-L", "i"},
      {"cangen", "-g", "1", "-n", "45", "-R"},
      {"cangen", "-g", "1", "-n", "45", "-e", "-R"}},
     270},
    // Error frames: a bus-off, a transmit time-out, a missing ACK, a stuff error, an overflow.
    {"errors",
     {{"cansend", "20000040#0000000000000000"},
      {"cansend", "20000001#0000000000000000"},
      {"cansend", "20000020#0000000000000000"},
      {"cansend", "20000088#0000040000000000"},
      {"cansend", "20000004#0001000000000000"}},
     5},
};

}  // namespace

class SocketCanTrafficTest : public SocketCanCaptureTest,
                             public testing::WithParamInterface<Traffic> {};

// quillon-dump and candump, side by side on one interface, record the same frames.
TEST_P(SocketCanTrafficTest, DumpStoresWhatCandumpRecords) {
    const Traffic& traffic = GetParam();
    const std::string count = std::to_string(traffic.frames);
    // Every frame, error frames too.
    const std::string everything = std::string(kInterface) + ",0:0,#FFFFFFFF";
    Child reference({"/usr/bin/candump", "-L", "-n", count, everything}, dir.file("candump"),
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

namespace {

// A raw socket of the test on one interface: sending from the test's own process keeps a run
// quick in a kernel where starting a program takes long.
class RawSocket {
  public:
    explicit RawSocket(const std::string& interface) : fd(socket(PF_CAN, SOCK_RAW, CAN_RAW)) {
        sockaddr_can address{};
        address.can_family = AF_CAN;
        address.can_ifindex = static_cast<int>(if_nametoindex(interface.c_str()));
        bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawSocket() {
        if (fd >= 0) close(fd);
    }
    // A standard frame with one data byte; false when the kernel refused it.
    bool Send(uint32_t id, uint8_t byte) {
        can_frame frame{};
        frame.can_id = id;
        frame.can_dlc = 1;
        frame.data[0] = byte;
        return bound && write(fd, &frame, sizeof frame) == static_cast<ssize_t>(sizeof frame);
    }

  private:
    const int fd;
    bool bound = false;
};

void SetLink(const std::string& interface, const char* state) {
    const ProcessResult r = RunProcess({"/sbin/ip", "link", "set", interface, state});
    ASSERT_EQ(r.exitCode, 0) << r.err;
}

std::vector<std::string> DataOf(const std::vector<LoggedFrame>& frames) {
    std::vector<std::string> data;
    for (const LoggedFrame& f : frames) data.push_back(f.data);
    return data;
}

}  // namespace

// An interface taken down during a capture and brought up again: quillon-dump says so on stderr
// when it happens and captures on; nothing received before the fault is lost.
TEST_F(SocketCanCaptureTest, CaptureReportsAnInterfaceGoingDownAndGoesOn) {
    Child dump({QUILLON_DUMP_BIN, "-m", "raw", "-p", port, "-N", "6", "-o", "candump"},
               dir.file("dump"), dir.file("dump.err"));
    ASSERT_TRUE(WaitUntil([] { return Receivers(kInterface) == 1; }));
    RawSocket before(kInterface);
    for (uint8_t byte : {1, 2, 3}) ASSERT_TRUE(before.Send(0x181, byte));
    SetLink(kInterface, "down");
    const std::string down = "Port " + port + ": CAN device " + kInterface + ": Network is down\n";
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(dir.file("dump.err")) == down; }))
        << ReadFile(dir.file("dump.err"));
    SetLink(kInterface, "up");
    RawSocket after(kInterface);  // the first socket's next send reports the fault once more
    for (uint8_t byte : {4, 5, 6}) ASSERT_TRUE(after.Send(0x181, byte));
    EXPECT_EQ(dump.Wait(), 0);
    EXPECT_EQ(ReadFile(dir.file("dump.err")), down + "Port " + port + ": receiving again\n");
    const std::vector<std::string> expected = {"01", "02", "03", "04", "05", "06"};
    EXPECT_EQ(DataOf(ParseCandump(ReadFile(dir.file("dump")))), expected);
}

// Two interfaces read at once into one store: every frame of each, in its interface's order,
// under its own port, and in time order across them but for the frames counted as late.
TEST_F(SocketCanCaptureTest, TwoInterfacesCapturedTogether) {
    VcanInterface second(kSecondInterface);
    ASSERT_EQ(second.reason, "");
    const std::string port0 = port;
    const std::string port1 = PortOf(kSecondInterface, dir.path());
    ASSERT_FALSE(port1.empty());
    constexpr int kEach = 40;
    Child dump({QUILLON_DUMP_BIN, "-m", "raw", "-s", "-p", port0, "-p", port1, "-N",
                std::to_string(2 * kEach), "-o", "candump"},
               dir.file("dump"), dir.file("dump.err"));
    ASSERT_TRUE(
        WaitUntil([] { return Receivers(kInterface) == 1 && Receivers(kSecondInterface) == 1; }));
    RawSocket sender0(kInterface), sender1(kSecondInterface);
    std::vector<std::string> sent0, sent1;
    for (int i = 0; i < kEach; i++) {
        ASSERT_TRUE(sender0.Send(0x100, static_cast<uint8_t>(i)));
        ASSERT_TRUE(sender1.Send(0x200, static_cast<uint8_t>(0x80 + i)));
        sent0.push_back(Format("%02X", i));
        sent1.push_back(Format("%02X", 0x80 + i));
    }
    EXPECT_EQ(dump.Wait(), 0) << ReadFile(dir.file("dump.err"));
    std::vector<std::string> got0, got1;
    std::istringstream lines(ReadFile(dir.file("dump")));
    std::string stamp, interface, body;
    std::string newest;  // "(SECONDS.MICROS)" of fixed width: compared as text
    int outOfOrder = 0;
    while (lines >> stamp >> interface >> body) {
        outOfOrder += stamp < newest;
        newest = std::max(newest, stamp);
        // candump output names a port canN after its port number.
        const std::string data = body.substr(body.find('#') + 1);
        if (interface == "can" + port0 && body.rfind("100#", 0) == 0)
            got0.push_back(data);
        else if (interface == "can" + port1 && body.rfind("200#", 0) == 0)
            got1.push_back(data);
        else
            ADD_FAILURE() << "unexpected " << interface << " " << body;
    }
    EXPECT_EQ(got0, sent0);
    EXPECT_EQ(got1, sent1);
    // A frame is stored out of time order only when it came later than the merge's window; -s
    // counts those ("late frames: N", left out when none).
    const std::string stats = ReadFile(dir.file("dump.err"));
    const size_t late = stats.find("late frames: ");
    EXPECT_EQ(outOfOrder, late == std::string::npos ? 0 : std::atoi(stats.c_str() + late + 13))
        << stats;
}
