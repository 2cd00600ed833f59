#include "hw/driver_calls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

namespace {

class SystemCalls : public DriverCalls {
  public:
    int Access(const char* path, int mode) override { return access(path, mode); }
    int Open(const char* path, int flags) override { return open(path, flags); }
    int Close(int fd) override { return close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override { return ioctl(fd, request, arg); }
};

// Set once at start-up, read by every thread that talks to a port.
std::atomic<DriverCalls*> current{nullptr};

}  // namespace

DriverCalls& SystemDriverCalls() {
    static SystemCalls calls;
    return calls;
}

DriverCalls& CurrentDriverCalls() {
    DriverCalls* calls = current.load(std::memory_order_acquire);
    return calls ? *calls : SystemDriverCalls();
}

void SetDriverCalls(DriverCalls* calls) {
    current.store(calls, std::memory_order_release);
}
