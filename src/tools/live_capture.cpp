#include "tools/live_capture.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/bus_analysis.h"
#include "hw/can_intf.h"
#include "hw/port_survey.h"
#include "session/session.h"
#include "store/msg_store.h"

namespace {

// The longest single wait for the time limit, in milliseconds: within poll's int time-out.
constexpr double kLongestWait = 24 * 3600 * 1000.0;

// How long printed frames may wait in the output's buffer during a capture: half the 100 ms
// promised, the rest left for waking up and writing.
constexpr std::chrono::milliseconds kFlushDelay{50};

// What the signal handlers share with CaptureLive: a handler can reach nothing but objects of
// static storage, and can only set a flag and write to a descriptor.
volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t wakeFd = -1;  // the capture's wake-up counter while it waits

// Makes the eventfd fd readable; async-signal-safe.
void Wake(int fd) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof one);  // fails only when full
}

// Takes the count of the eventfd fd, found readable, so that a wait on it blocks again.
void Drain(int fd) {
    uint64_t count;
    [[maybe_unused]] const ssize_t n = read(fd, &count, sizeof count);
}

extern "C" void RequestStop(int) {
    const int saved = errno;
    stopRequested = 1;
    if (const int fd = wakeFd; fd >= 0) Wake(fd);
    errno = saved;
}

// Wakes the capture once the store holds the frame limit.
class FrameLimit : public ArrivalWatcher {
  public:
    FrameLimit(long frames, int fd) : frames(frames), fd(fd) {}
    void FramesArrived(StoreIndex last) override {
        if (frames > 0 && last + 1 >= frames) Wake(fd);
    }

  private:
    const long frames;
    const int fd;
};

// Tells the capture, once a frame has arrived since it last looked, that printed output may
// wait in the buffer; frames arriving while it already knows wake it no more.
class OutputWaiting : public ArrivalWatcher {
  public:
    explicit OutputWaiting(int fd) : fd(fd) {}
    void FramesArrived(StoreIndex) override {
        if (!waiting.exchange(true)) Wake(fd);
    }
    // Whether frames arrived since the last call.
    bool Take() { return waiting.exchange(false); }

  private:
    const int fd;
    std::atomic<bool> waiting{false};
};

}  // namespace

int ListPorts(Cards& cards, FILE* out, FILE* err) {
    const std::vector<SurveyedPort> ports = SurveyPorts(cards, true);
    if (ports.empty()) std::fprintf(err, "No CAN cards found in system\n");
    for (const SurveyedPort& p : ports) {
        if (p.answer == CardAnswer::Busy) {
            std::fprintf(out, "%d\t%d\t%d\t\t\t\t-\tCard busy\t\t\t0.0\n", p.port, p.card,
                         p.cardPort);
            continue;
        }
        // A port without a bit rate (a virtual interface has no bit timing) shows "-".
        const std::string bitRate =
            p.portInfo.baudCode < 0 ? "-" : std::to_string(CanIntf::GetBPS(p.portInfo.baudCode));
        std::fprintf(out, "%d\t%d\t%d\t%s\t%d\t%s\t%s\t%s\t%s\t%s\t%.1f\n", p.port, p.card,
                     p.cardPort, CardTypeText(p).c_str(), p.cardInfo.serialNum,
                     p.cardInfo.fwVersion.c_str(), bitRate.c_str(), p.portInfo.status.c_str(),
                     p.portInfo.txErrors.c_str(), p.portInfo.rxErrors.c_str(), p.portInfo.loading);
    }
    return 0;
}

int AnalyzePort(Cards& cards, FILE* out, FILE* err, int port, int baudCode, int id) {
    if (baudCode >= 0) {
        try {
            CanIntf(cards, port, true).setBaud(baudCode);
        } catch (const QuillonError& e) {
            std::fprintf(err, "Error transmitting:\n%s\n", e.message.c_str());
            return 1;
        }
    }
    const BusMeasurement m = MeasureBus(cards, port, id);
    if (!m.ok) {
        std::fprintf(err, "%s\n", m.alert.c_str());
        return 1;
    }
    // Every figure is printed; one that could not be measured fails the measurement.
    int status = 0;
    for (const ResultLine& line : ResultLines(m.stats, m.stuckHigh, m.stuckLow)) {
        std::fprintf(out, "%s\n", line.text.c_str());
        if (line.failed) status = 1;
    }
    return status;
}

std::string ParsePortOption(const std::string& text, int defaultCode, LiveOptions::Port* port) {
    const size_t colon = text.find(':');
    bool ok;
    port->number = StrToInt(text.substr(0, colon), &ok);
    if (!ok || port->number < 0) return "port must be a number of at least 0: " + text;
    port->baudCode = defaultCode;
    if (colon != std::string::npos) {
        port->baudCode = StrToInt(text.substr(colon + 1), &ok);
        if (!ok || port->baudCode < 0 || port->baudCode > 7)
            return "bit-rate code must be 0 to 7: " + text;
    }
    return "";
}

int CaptureLive(Session& session, const LiveOptions& options, FILE* out) {
    // The capture sleeps until a signal, the frame limit or the time limit ends it.
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        std::fprintf(stderr, "quillon-dump: %s\n", std::strerror(errno));
        return 1;
    }
    wakeFd = fd;
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    FrameLimit limit(options.frames, fd);
    OutputWaiting output(fd);
    session.store().AddArrivalWatcher(&limit);
    session.store().AddArrivalWatcher(&output);
    auto finish = [&] {
        session.readers().StopAll();
        session.store().DelArrivalWatcher(&output);
        session.store().DelArrivalWatcher(&limit);
        wakeFd = -1;
        close(fd);
    };
    session.readers().SetStartTime();
    for (const LiveOptions::Port& port : options.ports) {
        try {
            session.readers().ReadCanIntf(port.number, port.baudCode);
        } catch (const QuillonError& e) {
            finish();
            std::fprintf(stderr, "%s\n", e.message.c_str());
            return 1;
        }
    }
    // The readers store and print on their own threads; this one watches the limits and writes
    // the printed frames out. It sleeps while no frame comes, and wakes for a write only after
    // frames came.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto never = Clock::time_point::max();
    auto flushBy = never;  // when the frames printed since the last write are written out
    // What was printed before any frame (a log format's header) is seen at once.
    bool writing = std::fflush(out) == 0 && !std::ferror(out);
    while (!stopRequested && writing) {
        if (options.frames > 0 && session.store().GetLast() + 1 >= options.frames) break;
        const auto now = Clock::now();
        if (now >= flushBy) {
            writing = std::fflush(out) == 0 && !std::ferror(out);
            flushBy = never;
        }
        if (flushBy == never && output.Take()) flushBy = now + kFlushDelay;
        double waitMs = kLongestWait;
        if (options.seconds > 0) {
            const double elapsed = std::chrono::duration<double>(now - start).count();
            if (elapsed >= options.seconds) break;
            waitMs = std::min((options.seconds - elapsed) * 1000, waitMs);
        }
        if (flushBy != never)
            waitMs =
                std::min(std::chrono::duration<double, std::milli>(flushBy - now).count(), waitMs);
        const int timeout =
            options.seconds > 0 || flushBy != never ? static_cast<int>(std::ceil(waitMs)) : -1;
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, timeout) > 0) Drain(fd);
    }
    finish();
    return 0;
}
