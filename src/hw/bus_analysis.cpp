#include "hw/bus_analysis.h"

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/can_intf.h"
#include "hw/card_protocol.h"
#include "hw/line_samples.h"

namespace {

constexpr int kPolls = 20;
constexpr auto kResultPause = std::chrono::milliseconds(5);
constexpr auto kProgressPause = std::chrono::milliseconds(1);
constexpr uint32_t kAnalysisRequest = kOpAnalysis << 16 | 1;  // with one parameter word
constexpr uint32_t kAnalysisResult = kOpAnalysis << 16;
// Sample offsets travel in the upper half of the request word.
constexpr uint32_t kMaxSampleOffset = 0xFFFF;

const char kUnsupported[] =
    "Sorry, this version of Quillon doesn't support\nbus analysis with the type of CAN card "
    "you're using.\nPlease check for an updated version of Quillon";
const char kOldFirmware[] =
    "This CAN card requires a minimum firmware version\nof %s to perform bus analysis.  Please "
    "update the \nfirmware and try again.";
const char kNoAnswer[] = "Error reading bus status:\nCard didn't send bus analysis info.";
const char kWrongAmount[] = "Error reading bus status:\nCard returned the wrong amount of data";
const char kNoFrame[] = "Error reading bus status:\nNo test frame found in the card's line samples";

// The lowest firmware version word with which a card type analyses the bus; 0 for a type that
// cannot.
uint32_t MinimumFirmware(int cardType) {
    switch (cardType) {
        case 1:
            return 0x10600;
        case 256:
        case 257:
            return 0x10900;
        case 258:
            return 0x10000;
        case 259:
        case 260:
            return 0x10A00;
        default:
            return 0;
    }
}

BusMeasurement Failed(std::string alert) {
    BusMeasurement m;
    m.alert = std::move(alert);
    return m;
}

// A card that measures: poll until its result is ready.
BusMeasurement ReadCardResult(CanIntf& intf, BusMeasurement m) {
    unsigned int cmd[kCmdWords] = {};
    for (int i = 0; i < kPolls; i++) {
        std::this_thread::sleep_for(kResultPause);
        cmd[0] = kAnalysisResult;
        intf.SendCMD(cmd);
        if (cmd[0] != 0) break;
    }
    if (cmd[0] == 0) return Failed(kNoAnswer);
    if (cmd[0] != kAnalysisResultWords) return Failed(kWrongAmount);
    m.stats.status = cmd[1];
    m.stats.rxFall = cmd[2];
    m.stats.rxRise = cmd[3];
    m.stats.ackRiseSpan = cmd[4];
    m.stats.ackFallPos = cmd[5];
    m.stuckHigh = (cmd[1] & kBusStatusStuckHigh) != 0;
    m.stuckLow = (cmd[1] & kBusStatusStuckLow) != 0;
    m.ok = true;
    return m;
}

// A type 1 card: wait for its capture to settle, read its line samples and decode them. bps is
// the port's bit rate (not 0), clockMHz the card's clock.
BusMeasurement DecodeCardSamples(CanIntf& intf, BusMeasurement m, int bps, int clockMHz) {
    const double periodNs = 1000.0 / clockMHz;
    const int spb = Round(1e9 / bps / periodNs);

    unsigned int cmd[kCmdWords] = {};
    bool polled = false;
    uint32_t previous = 0;
    for (int i = 0; i < kPolls; i++) {
        std::this_thread::sleep_for(kProgressPause);
        cmd[0] = kAnalysisRequest;
        cmd[1] = kAnalysisProgress;
        intf.SendCMD(cmd);
        if (polled && cmd[1] == previous) break;
        polled = true;
        previous = cmd[1];
    }

    std::vector<uint16_t> samples;
    for (uint32_t offset = 0; offset <= kMaxSampleOffset;) {
        cmd[0] = kAnalysisRequest;
        cmd[1] = offset << 16 | kAnalysisSamples;
        intf.SendCMD(cmd);
        const uint32_t n = cmd[0] & 0x3F;
        if (n == 0) break;
        offset += 2 * n;
        for (uint32_t w = 1; w <= n; w++)
            for (uint16_t sample :
                 {static_cast<uint16_t>(cmd[w] >> 16), static_cast<uint16_t>(cmd[w] & 0xFFFF)})
                if (samples.size() < kMaxLineSamples) samples.push_back(sample);
    }
    if (samples.empty()) return Failed(kNoAnswer);
    if (!DecodeLineSamples(samples, spb, periodNs, &m.stats, &m.stuckHigh, &m.stuckLow))
        return Failed(kNoFrame);
    m.stats.status = 0;
    m.ok = true;
    return m;
}

}  // namespace

BusMeasurement MeasureBus(Cards& cards, int port, int id) {
    try {
        CanIntf intf(cards, port, false);
        const CardInfo info = intf.getCardInfo();
        const uint32_t minimum = MinimumFirmware(info.cardType);
        if (minimum == 0) return Failed(kUnsupported);
        if (info.fwVersionRaw < minimum)
            return Failed(Format(kOldFirmware, CanIntf::FmtVerStr(minimum).c_str()));

        BusMeasurement m;
        const int code = intf.getBaud();
        const int bps = CanIntf::GetBPS(code);
        // A port without a bit rate has no bit time to measure against.
        if (bps == 0) throw QuillonError(10, Format("Unknown baud rate: %d", code));
        m.stats.bitTime = 1e9 / bps;

        unsigned int cmd[kCmdWords] = {kAnalysisRequest, kAnalysisStart};
        intf.SendCMD(cmd);
        CANframe frame;
        frame.type = FRAME_DATA;
        frame.extended = true;
        frame.id = static_cast<uint32_t>(id);
        frame.length = 8;
        for (uint8_t& byte : frame.data) byte = 0x55;
        intf.open();
        intf.write(frame, 100);

        return info.cardType == 1 ? DecodeCardSamples(intf, m, bps, info.clockMHz)
                                  : ReadCardResult(intf, m);
    } catch (const QuillonError& e) {
        return Failed("Error transmitting:\n" + e.message);
    }
}

std::vector<ResultLine> ResultLines(const CanBusStats& stats, bool stuckHigh, bool stuckLow) {
    std::vector<ResultLine> lines;
    if (stuckHigh || stuckLow) {
        lines.push_back(
            {stuckHigh ? "Error: Receive line stuck high" : "Error: Receive line stuck low", 2,
             true});
    } else {
        const int quarter = static_cast<int>(stats.bitTime / 4);
        const int half = static_cast<int>(stats.bitTime / 2);
        auto rate = [&](int ns) { return ns < quarter ? 0 : ns < half ? 1 : 2; };
        const int fall = Round(stats.rxFall);
        const int rise = Round(stats.rxRise);
        lines.push_back({Format("Falling edge delay: %dns", fall), rate(fall)});
        lines.push_back({Format("Rising edge delay: %dns", rise), rate(rise)});
    }
    if (stats.ackRiseSpan == 0) {
        lines.push_back({"Error: No ACK bit received", 1, true});
        return lines;
    }
    auto rate = [&](int ns) {
        return ns < 0.7 * stats.bitTime ? 0 : ns < 0.8 * stats.bitTime ? 1 : 2;
    };
    const int fall = Round(stats.ackFallPos - stats.bitTime);
    const int rise = Round(stats.ackFallPos + stats.ackRiseSpan - 2 * stats.bitTime);
    lines.push_back({Format("ACK falling delay: %dns", fall), rate(fall)});
    lines.push_back({Format("ACK rising delay: %dns", rise), rate(rise)});
    return lines;
}
