#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hw/driver_calls.h"
#include "sim/emulation_description.h"

// The CAN card driver, emulated: device nodes of both families, cards answering every command
// of the driver's contract with its records and error codes, ports wired to emulated buses that
// carry traffic in real time, and the faults a description declares. Plugged in at the
// DriverCalls seam, so that the program's driver interface runs unchanged against it.
class EmulatedDriver : public DriverCalls {
  public:
    // selection: "demo", "flood" (the built-in set-ups) or the path of a description file.
    // Throws QuillonError 12 naming the description, the line and the problem, before anything
    // runs.
    static std::unique_ptr<EmulatedDriver> Create(const std::string& selection,
                                                  const SimSourceFactories& factories = {});
    ~EmulatedDriver() override = default;

    int Access(const char* path, int mode) override;
    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;

    struct PortCounters {
        uint64_t received = 0;  // records put into the port's receive queue
        uint64_t overruns = 0;  // records lost because the queue was full
        uint64_t sent = 0;      // frames written on the port that the bus carried
    };
    // The counters of a port by its number (zeros for a number that is not a port).
    PortCounters Counters(int port) const;
    // The bytes the flash of a port's card holds for an image identifier, for the tests.
    std::vector<uint8_t> Flash(int port, uint32_t imageId) const;
    int PortCount() const { return static_cast<int>(emulation.ports.size()); }

  private:
    explicit EmulatedDriver(Emulation emulation);

    // The port of a node name, or -1.
    int NodePort(const char* path) const;
    bool Gone(const EmulatedCard& card) const;
    // Runs a command buffer for a port; mutex held. Returns the status for word 0.
    uint32_t Command(EmulatedCard& card, EmulatedPort& port, uint32_t* cmd);
    // Opcode 12; mutex held.
    uint32_t Analysis(EmulatedCard& card, EmulatedPort& port, uint32_t* cmd);
    // Records the frame of msg as the test frame when the port's analysis is armed; mutex held.
    void CaptureTestFrame(EmulatedCard& card, EmulatedPort& port, const __CANCARD_MSG& msg);

    // Descriptors start far above any the system hands out, so the two never mix.
    static constexpr int kFirstFd = 1 << 20;

    mutable std::mutex mutex;  // guards the cards' state and the descriptor table
    std::map<int, int> fds;    // descriptor -> port number
    int nextFd = kFirstFd;
    Emulation emulation;  // last member: its buses stop before anything else goes
};
