#pragma once

// Raw driver requests for the tests of the emulated card driver: what the program's driver
// interface sends, without it.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/utils.h"
#include "hw/card_protocol.h"
#include "sim/emulated_driver.h"

struct CmdReply {
    uint32_t status;  // word 0, bits 31-16
    std::array<uint32_t, kCmdWords> w;
};

// Sends a command buffer (word 0 as given, then the parameter words); the ioctl must succeed.
CmdReply Cmd(DriverCalls& driver, int fd, uint32_t word0, const std::vector<uint32_t>& params = {});

// "[name]", the body's lines, "[END]": a block of a description.
std::string Block(const std::string& name, const std::string& body = "");
// An emulated driver from an [Emulation] block of body, written to the file "emu.cfg" in dir.
std::unique_ptr<EmulatedDriver> DriverFrom(const std::string& dir, const std::string& body,
                                           const SimSourceFactories& factories = {});

// Opens a port's node and the port on the card; the descriptor.
int OpenPort(DriverCalls& driver, const char* node);

__CANCARD_MSG Record(uint32_t id, uint32_t flags, std::vector<uint8_t> data, uint32_t timeout = 0);
// Receives a record, waiting up to timeout ms; the ioctl result in *rc.
__CANCARD_MSG Receive(DriverCalls& driver, int fd, uint32_t timeout, int* rc);
// The frame a received record describes, as the bus carried it.
CANframe FrameOf(const __CANCARD_MSG& msg);

// Every ioctl that crosses the seam, with the first words sent; a hook may rewrite what the
// driver returned.
class Recorder : public DriverCalls {
  public:
    explicit Recorder(DriverCalls& inner) : inner(inner) {}
    int Access(const char* path, int mode) override { return inner.Access(path, mode); }
    int Open(const char* path, int flags) override { return inner.Open(path, flags); }
    int Close(int fd) override { return inner.Close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        const auto* words = static_cast<const uint32_t*>(arg);
        const int n = request == kIoctlCommand ? 2 : 6;
        std::string sent = Format("%08lx", request);
        for (int i = 0; i < n; i++) sent += Format(" %08x", words[i]);
        calls.push_back(sent);
        const int rc = inner.Ioctl(fd, request, arg);
        if (rewrite) rewrite(request, arg);
        return rc;
    }
    std::vector<std::string> calls;
    std::function<void(unsigned long, void*)> rewrite;

  private:
    DriverCalls& inner;
};
