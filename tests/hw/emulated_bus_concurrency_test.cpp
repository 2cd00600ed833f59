#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/utils.h"
#include "hw/emulated_driver.h"
#include "hw/emulation_test_support.h"
#include "support/test_support.h"

namespace {

// Three ports read one bus while a fourth writes to it: every reader gets every frame once, in
// order, and nothing is lost.
TEST(EmulatedBusConcurrency, ReadersOfOneBusWhileAnotherPortSends) {
    constexpr uint32_t kFrames = 600;
    constexpr int kReaders = 3;
    TempDir dir;
    auto driver = DriverFrom(dir.path(), R"([Emulation]
   [Bus]
      bitrate:1000000
   [END]
   [Card]
      [Port]
         bus:0
      [END]
      [Port]
         bus:0
      [END]
   [END]
   [Card]
      [Port]
         bus:0
      [END]
      [Port]
         bus:0
      [END]
   [END]
[END]
)");
    const char* nodes[] = {"/dev/ulcan00", "/dev/ulcan01", "/dev/ulcan02", "/dev/ulcan03"};
    int fds[4];
    for (int i = 0; i < 4; i++) fds[i] = OpenPort(*driver, nodes[i]);

    std::atomic<int> failures{0};
    std::vector<std::thread> readers;
    for (int r = 1; r <= kReaders; r++)
        readers.emplace_back([&, r] {
            for (uint32_t seq = 0; seq < kFrames; seq++) {
                __CANCARD_MSG got = Record(0, 0, {}, 10000);
                if (driver->Ioctl(fds[r], kIoctlRecvMsg, &got) != 0 || Build32(got.data) != seq ||
                    got.id != 0x321) {
                    failures++;
                    return;
                }
            }
        });
    for (uint32_t seq = 0; seq < kFrames;) {
        __CANCARD_MSG msg = Record(0x321, 4, {uint8_t(seq), uint8_t(seq >> 8), 0, 0});
        const int rc = driver->Ioctl(fds[0], kIoctlSendMsg, &msg);
        if (rc == 0) {
            seq++;
        } else if (rc == 5) {
            // The port's transmit queue is full: wait for the bus to carry one of them.
            __CANCARD_MSG none = Record(0, 0, {}, 1);
            driver->Ioctl(fds[0], kIoctlRecvMsg, &none);
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
