#pragma once

// Helpers of the port layer's tests: a transcript of steps and driver calls compared with a
// golden file of data/, and a machine that has device nodes only.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "base/utils.h"
#include "hw/can_intf.h"
#include "hw/cards.h"
#include "hw/driver_calls.h"
#include "sim/emulation_test_support.h"
#include "support/test_support.h"

// Device nodes only: the scan's view of the machine.
class Nodes : public DriverCalls {
  public:
    int Access(const char* path, int) override {
        return names.count(path) ? 0 : (errno = ENOENT, -1);
    }
    int Open(const char*, int) override { return -1; }
    int Close(int) override { return 0; }
    int Ioctl(int, unsigned long, void*) override { return -1; }
    std::set<std::string> names;
};

// The cards of an emulation description (a file, or a built-in name), every driver call recorded.
struct EmulatedCards {
    explicit EmulatedCards(const std::string& description)
        : driver(EmulatedDriver::Create(description)) {}
    std::unique_ptr<EmulatedDriver> driver;
    Recorder recorder{*driver};
    Cards cards{&recorder, SocketCanPorts::LeftOut};
};

// A frame of type (FrameType) with the bytes of data, and their number unless length is given.
inline CANframe MakeFrame(int type, bool extended, uint32_t id, const std::vector<uint8_t>& data,
                          int length = -1) {
    CANframe frame;
    frame.type = static_cast<int16_t>(type);
    frame.extended = extended;
    frame.id = id;
    frame.length = static_cast<int16_t>(length < 0 ? static_cast<int>(data.size()) : length);
    std::copy(data.begin(), data.end(), frame.data);
    return frame;
}

// Type, 29-bit flag, identifier, length and data bytes of a frame.
inline std::string FrameRow(const CANframe& f) {
    std::string row = Format("%d %d %08x %d", f.type, f.extended, f.id, f.length);
    for (int i = 0; i < f.length; i++) row += Format(" %02x", f.data[i]);
    return row;
}

inline std::string Describe(const CardInfo& c) {
    return Format(
        "type %d firmware %s (%u) driver %s serial %d params %d %d %d %d analog %.2f "
        "%.2f %.2f clock %d",
        c.cardType, c.fwVersion.c_str(), c.fwVersionRaw, c.drvVersion.c_str(), c.serialNum,
        c.param1, c.param7, c.param8, c.param12, c.analog2, c.analog3, c.analog4, c.clockMHz);
}

inline std::string Describe(const PortInfo& p) {
    return Format("%s|%s|%s open %d code %d load %.1f", p.status.c_str(), p.txErrors.c_str(),
                  p.rxErrors.c_str(), p.isOpen, p.baudCode, p.loading);
}

// A test's steps, a line each with what the step returned or the QuillonError it threw, each
// followed by the calls it added to a log of calls (indented), when one is given.
class Transcript {
  public:
    explicit Transcript(std::vector<std::string>* calls = nullptr) : calls(calls) {}

    template <class Step>
    void operator()(const std::string& label, Step step) {
        if (calls) calls->clear();
        std::string result;
        const std::string error = ThrownError([&] {
            if constexpr (std::is_void_v<decltype(step())>)
                step();
            else
                result = step();
        });
        text += label + ": " + (error == "(none)" ? result : "error " + error) + "\n";
        if (calls)
            for (const std::string& call : *calls) text += "  " + call + "\n";
    }

    std::string text;

  private:
    std::vector<std::string>* calls;
};
