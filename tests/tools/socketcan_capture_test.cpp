// quillon-dump on a virtual SocketCAN interface, where the machine allows one.

#include <gtest/gtest.h>
#include <linux/can.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

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
