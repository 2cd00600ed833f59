#include "sim/emulated_driver.h"

#include <fcntl.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/can_bits.h"
#include "hw/card_protocol.h"
#include "sim/emulated_line_capture.h"
#include "sim/sim_block.h"

namespace {

// What a type 1 card reports as the progress of a bus analysis: it grows by one step for the
// first polls after the test frame, then stands still (at once when there is no test frame).
constexpr uint32_t kProgressStep = 0x40;
constexpr uint32_t kProgressSteps = 3;
// How many result polls a measuring card answers "not ready" after the test frame.
constexpr uint32_t kNotReadyPolls = 2;
// Result words per sample block of a type 1 card (two samples each).
constexpr size_t kSampleWords = 63;

// The description's top block; text is the built-in one, or null to read the file name.
std::unique_ptr<CfgElement> LoadDescription(const std::string& name, const std::string* text) {
    try {
        if (text) {
            std::unique_ptr<FILE, int (*)(FILE*)> fp(
                fmemopen(const_cast<char*>(text->data()), text->size(), "r"), &std::fclose);
            if (!fp) throw QuillonError(12, Format("%s: cannot be read", name.c_str()));
            return CfgElement::load(fp.get());
        }
        return CfgElement::load(name.c_str());
    } catch (const CfgFileErr& e) {
        switch (e.code) {
            case CfgFileErr::OPEN:
                throw QuillonError(
                    12, Format("%s: cannot read the emulation description", name.c_str()));
            case CfgFileErr::END:
                throw QuillonError(12,
                                   Format("%s:%d: [END] outside any block", name.c_str(), e.line));
            default:
                throw QuillonError(12, Format("%s:%d: not a key:value line, a [Block] or an "
                                              "[END] of an open block",
                                              name.c_str(), e.line));
        }
    }
}

}  // namespace

std::unique_ptr<EmulatedDriver> EmulatedDriver::Create(const std::string& selection,
                                                       const SimSourceFactories& factories) {
    std::string text;
    std::string folder;
    const bool builtIn = BuiltInEmulation(selection, &text, &folder);
    std::unique_ptr<CfgElement> root = LoadDescription(selection, builtIn ? &text : nullptr);
    if (!root)
        throw QuillonError(12, Format("%s: the emulation description is empty", selection.c_str()));
    if (!builtIn) {
        const size_t slash = selection.rfind('/');
        if (slash != std::string::npos) folder = selection.substr(0, std::max<size_t>(slash, 1));
    }
    try {
        std::unique_ptr<EmulatedDriver> driver(
            new EmulatedDriver(ReadEmulation(*root, factories, folder)));
        for (auto& bus : driver->emulation.buses) bus->Run();
        return driver;
    } catch (const SimConfigError& e) {
        throw QuillonError(12, Format("%s:%d: %s", selection.c_str(), e.line, e.problem.c_str()));
    }
}

EmulatedDriver::EmulatedDriver(Emulation emulation) : emulation(std::move(emulation)) {}

int EmulatedDriver::NodePort(const char* path) const {
    if (!path) return -1;
    for (size_t i = 0; i < emulation.nodes.size(); i++)
        if (emulation.nodes[i] == path) return static_cast<int>(i);
    return -1;
}

bool EmulatedDriver::Gone(const EmulatedCard& card) const {
    return std::chrono::steady_clock::now() < card.goneUntil;
}

int EmulatedDriver::Access(const char* path, int) {
    std::lock_guard<std::mutex> lock(mutex);
    const int port = NodePort(path);
    if (port < 0 || Gone(emulation.cards[static_cast<size_t>(emulation.cardOf[port])])) {
        errno = ENOENT;
        return -1;
    }
    return 0;
}

int EmulatedDriver::Open(const char* path, int) {
    std::lock_guard<std::mutex> lock(mutex);
    const int port = NodePort(path);
    if (port < 0 || Gone(emulation.cards[static_cast<size_t>(emulation.cardOf[port])])) {
        errno = ENOENT;
        return -1;
    }
    fds[nextFd] = port;
    return nextFd++;
}

int EmulatedDriver::Close(int fd) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = fds.find(fd);
    if (it == fds.end()) {
        errno = EBADF;
        return -1;
    }
    const int port = it->second;
    fds.erase(it);
    // As the real driver releases its node: the port closes on the card with its last
    // descriptor, so that a reader that went away leaves no open port behind.
    for (const auto& entry : fds)
        if (entry.second == port) return 0;
    EmulatedPort& p = *emulation.ports[static_cast<size_t>(port)];
    p.bus.ClosePort(p);
    return 0;
}

int EmulatedDriver::Ioctl(int fd, unsigned long request, void* arg) {
    std::unique_lock<std::mutex> lock(mutex);
    auto it = fds.find(fd);
    if (it == fds.end()) {
        errno = EBADF;
        return -1;
    }
    EmulatedPort& port = *emulation.ports[static_cast<size_t>(it->second)];
    EmulatedCard& card = emulation.cards[static_cast<size_t>(emulation.cardOf[it->second])];
    if (Gone(card)) {
        errno = ENODEV;
        return -1;
    }
    if (request != kIoctlCommand && request != kIoctlSendMsg && request != kIoctlRecvMsg) {
        errno = ENOTTY;
        return -1;
    }
    if (!arg) {
        errno = EFAULT;
        return -1;
    }
    if (request == kIoctlCommand) {
        auto* cmd = static_cast<uint32_t*>(arg);
        cmd[0] = Command(card, port, cmd);
        return 0;
    }
    // Messages wait on the bus, not on the cards: the driver's mutex is not held meanwhile.
    lock.unlock();
    auto* msg = static_cast<__CANCARD_MSG*>(arg);
    if (request == kIoctlSendMsg) {
        const int rc = port.bus.Send(port, *msg);
        lock.lock();
        if (rc == 0) CaptureTestFrame(card, port, *msg);
        return rc;
    }
    const int rc = port.bus.Receive(port, *msg);
    lock.lock();
    if (rc == kDriverClosedPort && Gone(card)) {  // a reset took the node away
        errno = ENODEV;
        return -1;
    }
    return rc;
}

uint32_t EmulatedDriver::Command(EmulatedCard& card, EmulatedPort& port, uint32_t* cmd) {
    const uint32_t opcode = cmd[0] >> 16;
    const uint32_t count = cmd[0] & 0xFFFF;
    auto fail = [](uint32_t code) { return code << 16; };
    auto result = [](uint32_t n) { return n; };
    if (card.busyEvery && ++card.commands % card.busyEvery == 0) return fail(kDriverBusy);
    EmulatedBus& bus = port.bus;
    // The boot loader alone knows nothing of the ports.
    const bool portCommand = opcode == kOpOpen || opcode == kOpOpenMode || opcode == kOpSetBaud ||
                             opcode == kOpAnalysis ||
                             (opcode == kOpGetParam && count >= 1 &&
                              (cmd[1] == kParamPortStatus || cmd[1] == kParamBusLoad));
    if (!card.mainProgram && portCommand) return fail(kDriverInternal);

    switch (opcode) {
        case kOpOpen:
            return fail(static_cast<uint32_t>(bus.OpenPort(port)));
        case kOpOpenMode:
            if (count < 1) return fail(kDriverBadParameter);
            return bus.StatusWord(port) & kStatusClosed ? fail(kDriverClosedPort) : result(0);
        case kOpClose:
            return fail(static_cast<uint32_t>(bus.ClosePort(port)));
        case kOpSetBaud:
            if (count < 1 || cmd[1] < 1 || cmd[1] > kBitRateCount) return fail(kDriverBadParameter);
            bus.SetRate(port, static_cast<int>(cmd[1]));
            return result(0);
        case kOpGetBaud:
            cmd[1] = static_cast<uint32_t>(bus.GetRate(port));
            return result(1);
        case kOpCardInfo:
            cmd[1] = card.type;
            cmd[2] = card.type == 1 ? card.boot : 0;
            cmd[3] = card.mainProgram ? card.firmware : 0;
            return result(3);
        case kOpErase:
            if (count < 1 || (card.type == 1 && !card.unlocked)) return fail(kDriverBadParameter);
            if (cmd[1] != kBootImageId && cmd[1] != kMainImageId && cmd[1] != kFpgaImageId)
                return fail(kDriverBadParameter);
            card.writing = cmd[1];
            card.flash[card.writing].clear();
            if (card.writing == kMainImageId) card.mainProgram = false;
            card.updateFailed = true;  // until a verification shows the new image whole
            return result(0);
        case kOpFlash: {
            if ((card.type == 1 && !card.unlocked) || !card.writing)
                return fail(kDriverBadParameter);
            std::vector<uint8_t>& image = card.flash[card.writing];
            if (count == kVerifyCount) {
                auto crc =
                    static_cast<uint32_t>(crc32(0, image.data(), static_cast<uInt>(image.size())));
                if (card.verifyFailEvery && ++card.verifications % card.verifyFailEvery == 0)
                    crc = ~crc;  // as if a word had been lost on the way
                if (cmd[1] == crc && card.writing == kMainImageId && !image.empty())
                    card.mainProgram = true;
                // A card left without a main program has not been updated, whatever it holds.
                if (cmd[1] == crc) card.updateFailed = !card.mainProgram;
                cmd[1] = crc;
                return result(1);
            }
            if (count < 1 || count > kMaxFlashWords ||
                image.size() + 4 * count > ImageCapacity(card.writing))
                return fail(kDriverBadParameter);
            for (uint32_t i = 1; i <= count; i++)
                for (int shift = 24; shift >= 0; shift -= 8)
                    image.push_back(static_cast<uint8_t>(cmd[i] >> shift));
            return result(0);
        }
        case kOpUnlock:
            if (card.type != 1) return fail(kDriverBadCommand);
            if (count < 1 || cmd[1] != kUnlockKey) return fail(kDriverBadParameter);
            card.unlocked = true;
            return result(0);
        case kOpGetParam: {
            if (count < 1) return fail(kDriverBadParameter);
            switch (cmd[1]) {
                case kParamSerial:
                    cmd[1] = card.serial;
                    break;
                case kParam1:
                    cmd[1] = card.param1;
                    break;
                case kParamAnalog2:
                    cmd[1] = card.analog2;
                    break;
                case kParamAnalog3:
                    cmd[1] = card.analog3;
                    break;
                case kParamAnalog4:
                    cmd[1] = card.analog4;
                    break;
                case kParamPortStatus:
                    cmd[1] = bus.StatusWord(port);
                    break;
                case kParam7:
                    cmd[1] = card.param7;
                    break;
                case kParam8:
                    cmd[1] = card.param8;
                    break;
                case kParamBusLoad:
                    if (card.type < kFirstLoadCardType) return fail(kDriverBadParameter);
                    cmd[1] = bus.LoadTenths(port);
                    break;
                case kParamUpdateFailed:
                    if (card.type < kFirstUpdateFlagCardType) return fail(kDriverBadParameter);
                    cmd[1] = card.updateFailed ? 1 : 0;
                    break;
                default:
                    return fail(kDriverBadParameter);
            }
            return result(1);
        }
        case kOpAnalysis:
            return Analysis(card, port, cmd);
        case kOpDriverVersion:
            cmd[1] = emulation.driverVersion;
            return result(1);
        case kOpReset:
            for (EmulatedPort* p : card.ports) p->bus.ResetPort(*p);
            card.unlocked = false;
            if (card.vanishMs)
                card.goneUntil =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(card.vanishMs);
            return result(0);
        default:
            return fail(kDriverBadCommand);
    }
}

void EmulatedDriver::CaptureTestFrame(EmulatedCard& card, EmulatedPort& port,
                                      const __CANCARD_MSG& msg) {
    auto it = card.analyses.find(&port);
    if (it == card.analyses.end() || !it->second.armed) return;
    EmulatedCard::Analysis& analysis = it->second;
    analysis.armed = false;
    analysis.captured = true;
    analysis.polls = 0;
    const int rate = port.bus.GetRate(port);
    const int bps = BitsPerSecond(rate - 1);
    const int bitTimeNs = bps ? 1000000000 / bps : 0;
    // The card's clock, by type.
    const int periodNs = 1000 / CardClockMHz(card.type);
    const LineTiming timing = port.bus.Timing(port);
    if (card.type != 1) {
        MeasuredWords(timing, bitTimeNs, periodNs, analysis.words);
        return;
    }
    const std::vector<uint8_t> bits = FrameBits(FrameOfMessage(msg));
    // Its controller times a bit in whole clock periods.
    const int cyclesPerBit = (bitTimeNs + periodNs / 2) / periodNs;
    // The ACK slot: before the ACK delimiter and the seven end-of-frame bits.
    analysis.samples =
        CaptureLineSamples(bits, static_cast<int>(bits.size()) - 9, cyclesPerBit, periodNs, timing);
}

uint32_t EmulatedDriver::Analysis(EmulatedCard& card, EmulatedPort& port, uint32_t* cmd) {
    const uint32_t count = cmd[0] & 0xFFFF;
    EmulatedCard::Analysis& analysis = card.analyses[&port];
    if (count >= 1 && cmd[1] == kAnalysisStart) {
        analysis = EmulatedCard::Analysis();
        analysis.armed = true;
        return 0;
    }
    if (card.type != 1) {
        if (count != 0) return kDriverBadParameter << 16;
        if (!analysis.captured || ++analysis.polls <= kNotReadyPolls) return 0;
        std::copy(analysis.words, analysis.words + kAnalysisResultWords, cmd + 1);
        return kAnalysisResultWords;
    }
    if (count < 1) return kDriverBadParameter << 16;
    if (cmd[1] == kAnalysisProgress) {
        const uint32_t steps = analysis.captured ? std::min(++analysis.polls, kProgressSteps) : 0;
        cmd[1] = kProgressStep * (steps + 1);
        return 1;
    }
    if ((cmd[1] & 0xFFFF) != kAnalysisSamples) return kDriverBadParameter << 16;
    const size_t first = cmd[1] >> 16;
    const std::vector<uint16_t>& samples = analysis.samples;
    size_t n = 0;
    for (size_t i = first; i + 1 < samples.size() && n < kSampleWords; i += 2)
        cmd[1 + n++] = static_cast<uint32_t>(samples[i]) << 16 | samples[i + 1];
    return static_cast<uint32_t>(n);
}

std::vector<uint8_t> EmulatedDriver::Flash(int port, uint32_t imageId) const {
    std::lock_guard<std::mutex> lock(mutex);
    if (port < 0 || port >= PortCount()) return {};
    const EmulatedCard& card = emulation.cards[static_cast<size_t>(emulation.cardOf[port])];
    const auto it = card.flash.find(imageId);
    return it == card.flash.end() ? std::vector<uint8_t>{} : it->second;
}

EmulatedDriver::PortCounters EmulatedDriver::Counters(int port) const {
    PortCounters counters;
    if (port < 0 || port >= PortCount()) return counters;
    EmulatedPort& p = *emulation.ports[static_cast<size_t>(port)];
    p.bus.Counters(p, &counters.received, &counters.overruns, &counters.sent);
    return counters;
}
