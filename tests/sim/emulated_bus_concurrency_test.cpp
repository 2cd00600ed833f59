#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/utils.h"
#include "sim/emulated_driver.h"
#include "sim/emulation_test_support.h"
#include "support/test_support.h"

namespace {

// Three ports read one bus while a fourth writes to it: every reader gets every frame once, in
// order, and nothing is lost.
TEST(EmulatedBusConcurrency, ReadersOfOneBusWhileAnotherPortSends) {
    constexpr uint32_t kFrames = 600;
    constexpr int kReaders = 3;
    TempDir dir;
    const std::string port = Block("Port", "bus:0\n");
    auto driver =
        DriverFrom(dir.path(), Block("Bus", "bitrate:1000000\n") + Block("Card", port + port) +
                                   Block("Card", port + port));

    const char* nodes[] = {"/dev/ulcan00", "/dev/ulcan01", "/dev/ulcan02", "/dev/ulcan03"};
    int fds[4];
    for (int i = 0; i < 4; i++) fds[i] = OpenPort(*driver, nodes[i]);

    std::atomic<int> failures{0};
    std::vector<std::thread> readers;
    for (int r = 1; r <= kReaders; r++)
        readers.emplace_back([&, r] {
            for (uint32_t seq = 0; seq < kFrames; seq++) {
                int rc;
                const __CANCARD_MSG got = Receive(*driver, fds[r], 10000, &rc);
                if (rc != 0 || Build32(got.data) != seq || got.id != 0x321) {
                    failures++;
                    return;
                }
            }
        });
    for (uint32_t seq = 0; seq < kFrames;) {
        __CANCARD_MSG msg = Record(0x321, 4, {uint8_t(seq), uint8_t(seq >> 8), 0, 0});
        int rc = driver->Ioctl(fds[0], kIoctlSendMsg, &msg);
        if (rc == 0) {
            seq++;
        } else if (rc == 5) {
            // The port's transmit queue is full: a millisecond's wait lets the bus carry some.
            Receive(*driver, fds[0], 1, &rc);
        } else {
            ADD_FAILURE() << rc;
            break;
        }
    }
    for (auto& t : readers) t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(driver->Counters(0).sent, kFrames);
    for (int r = 1; r <= kReaders; r++) {
        EXPECT_EQ(driver->Counters(r).received, kFrames);
        EXPECT_EQ(driver->Counters(r).overruns, 0u);
    }
}

}  // namespace
