#include "tools/live_capture.h"

#include <chrono>
#include <csignal>
#include <thread>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/bus_analysis.h"
#include "hw/can_intf.h"
#include "hw/port_survey.h"
#include "session/session.h"
#include "store/msg_store.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) {
    stopRequested = 1;
}

}  // namespace

int ListPorts(FILE* out, FILE* err) {
    const std::vector<SurveyedPort> ports = SurveyPorts(true);
    if (ports.empty()) std::fprintf(err, "No CAN cards found in system\n");
    for (const SurveyedPort& p : ports)
        std::fprintf(out, "%d\t%d\t%d\t%s\t%d\t%s\t%d\t%s\t%s\t%s\t%.1f\n", p.port, p.card,
                     p.cardPort, CardTypeText(p).c_str(), p.cardInfo.serialNum,
                     p.cardInfo.fwVersion.c_str(), CanIntf::GetBPS(p.portInfo.baudCode),
                     p.portInfo.status.c_str(), p.portInfo.txErrors.c_str(),
                     p.portInfo.rxErrors.c_str(), p.portInfo.loading);
    return 0;
}

int AnalyzePort(FILE* out, FILE* err, int port, int baudCode, int id) {
    if (baudCode >= 0) {
        try {
            CanIntf(port, true).setBaud(baudCode);
        } catch (const QuillonError& e) {
            std::fprintf(err, "Error transmitting:\n%s\n", e.message.c_str());
            return 1;
        }
    }
    const BusMeasurement m = MeasureBus(port, id);
    if (!m.ok) {
        std::fprintf(err, "%s\n", m.alert.c_str());
        return 1;
    }
    for (const ResultLine& line : ResultLines(m.stats, m.stuckHigh, m.stuckLow))
        std::fprintf(out, "%s\n", line.text.c_str());
    return 0;
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

int CaptureLive(Session& session, const LiveOptions& options) {
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    session.readers().SetStartTime();
    for (const LiveOptions::Port& port : options.ports) {
        try {
            session.readers().ReadCanIntf(port.number, port.baudCode);
        } catch (const QuillonError& e) {
            session.readers().StopAll();
            std::fprintf(stderr, "%s\n", e.message.c_str());
            return 1;
        }
    }
    // The readers store and print on their own threads; this one only watches the limits.
    const auto start = std::chrono::steady_clock::now();
    while (!stopRequested) {
        if (options.frames > 0 && session.store().GetLast() + 1 >= options.frames) break;
        if (options.seconds > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >=
                options.seconds)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    session.readers().StopAll();
    return 0;
}
