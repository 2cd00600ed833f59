// A firmware download of a 256 KiB main program to the emulated type 256 card of `demo`, its
// machines running: time, driver commands, progress updates and the longest gap between two
// updates (each one lets the windows process events).

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/progress.h"
#include "hw/can_intf.h"
#include "hw/card_protocol.h"
#include "hw/cards.h"
#include "hw/firmware_builder.h"
#include "hw/firmware_file.h"
#include "sim/emulated_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

// Counts the commands that cross the seam.
class CommandCounter : public DriverCalls {
  public:
    explicit CommandCounter(DriverCalls& inner) : inner(inner) {}
    int Access(const char* path, int mode) override { return inner.Access(path, mode); }
    int Open(const char* path, int flags) override { return inner.Open(path, flags); }
    int Close(int fd) override { return inner.Close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (request == kIoctlCommand) commands++;
        return inner.Ioctl(fd, request, arg);
    }
    long commands = 0;

  private:
    DriverCalls& inner;
};

class GapProgress : public Progress {
  public:
    void SetMax(float) override { last = Clock::now(); }
    void Update(float, const char*) override {
        const Clock::time_point now = Clock::now();
        longest = std::max(longest, now - last);
        last = now;
        updates++;
    }
    Clock::duration longest{};
    Clock::time_point last;
    long updates = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    FirmwareImages images;
    images.main = PatternImage(256 * 1024, 2);
    images.mainVersion = 0x00030300;
    images.compat = {256, 0, 0, 0};
    const std::vector<uint8_t> bytes = BuildFirmwareFile(images);
    char path[] = "/tmp/firmware_bench_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::perror("firmware_bench");
        return 1;
    }
    close(fd);
    FirmwareFile file;
    file.Load(path);
    unlink(path);

    auto driver = EmulatedDriver::Create("demo");
    CommandCounter counter(*driver);
    Cards cards(&counter, SocketCanPorts::LeftOut);
    for (int run = 0; run < runs; run++) {
        CanIntf port(cards, 0, true);
        GapProgress progress;
        counter.commands = 0;
        const Clock::time_point start = Clock::now();
        port.DnldFirmware(file, &progress);
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        const long commands = counter.commands;
        const std::chrono::duration<double, std::milli> gap = progress.longest;
        const bool whole = driver->Flash(0, kMainImageId).size() == images.main.size() &&
                           port.getCardInfo().param12 == 0;
        std::printf(
            "256 KiB main image: %.1f ms, %ld commands, %ld progress updates, longest "
            "gap %.3f ms, %s\n",
            took.count(), commands, progress.updates, gap.count(),
            whole ? "flash whole" : "FLASH WRONG");
        if (!whole) return 1;
    }
    return 0;
}
