#include "sim/emulated_line_capture.h"

#include <algorithm>
#include <set>

#include "hw/card_protocol.h"

namespace {

// Periods one sample's time field holds.
constexpr int64_t kLongestSpan = int64_t{kSampleTime} + 1;

// Clock periods from an edge until the card sees it.
int64_t Cycles(int ns, int periodNs) {
    return ns <= 0 ? 0 : (ns + periodNs - 1) / periodNs;
}

// A line as the times at which it changes and the level it changes to, in time order.
struct Line {
    std::vector<std::pair<int64_t, int>> edges;
    int Level(int64_t time) const {
        int level = 1;
        for (const auto& edge : edges) {
            if (edge.first > time) break;
            level = edge.second;
        }
        return level;
    }
};

}  // namespace

std::vector<uint16_t> CaptureLineSamples(const std::vector<uint8_t>& bits, int ackSlot,
                                         int cyclesPerBit, int periodNs, const LineTiming& timing) {
    // One idle bit before the start of frame, the intermission after the end of frame.
    const int64_t lead = cyclesPerBit;
    const int64_t end = lead + static_cast<int64_t>(bits.size() + 3) * cyclesPerBit;
    Line tx;
    Line delayed;
    int level = 1;
    for (size_t i = 0; i < bits.size(); i++) {
        if (bits[i] == level) continue;
        level = bits[i];
        const int64_t at = lead + static_cast<int64_t>(i) * cyclesPerBit;
        tx.edges.emplace_back(at, level);
        const int delay = level ? timing.loopRiseNs : timing.loopFallNs;
        delayed.edges.emplace_back(at + Cycles(delay, periodNs), level);
    }
    std::sort(delayed.edges.begin(), delayed.edges.end());
    const bool acked = timing.ack && ackSlot >= 0 && ackSlot < static_cast<int>(bits.size());
    const int64_t ackFrom =
        lead + int64_t{ackSlot} * cyclesPerBit + Cycles(timing.ackFallNs, periodNs);
    const int64_t ackTo =
        lead + int64_t{ackSlot + 1} * cyclesPerBit + Cycles(timing.ackRiseNs, periodNs);
    auto rxLevel = [&](int64_t time) {
        if (timing.stuck != LineTiming::Stuck::kNone)
            return timing.stuck == LineTiming::Stuck::kHigh ? 1 : 0;
        if (acked && time >= ackFrom && time < ackTo) return 0;
        return delayed.Level(time);
    };

    std::set<int64_t> times{end};
    for (const auto& edge : tx.edges) times.insert(edge.first);
    for (const auto& edge : delayed.edges) times.insert(edge.first);
    if (acked) times.insert({ackFrom, ackTo});

    std::vector<uint16_t> samples;
    auto levelBits = [](int txLevel, int rx) {
        return static_cast<uint16_t>((txLevel ? kSampleTx : 0) | (rx ? kSampleRx : 0));
    };
    // The first sample gives the levels the capture starts with.
    uint16_t current = levelBits(1, rxLevel(0));
    samples.push_back(current);
    int64_t previous = 1;
    for (int64_t time : times) {
        if (time <= previous) continue;
        const uint16_t now = levelBits(tx.Level(time), rxLevel(time));
        if (now == current && time != end) continue;
        int64_t span = time - previous;
        for (; span > kLongestSpan; span -= kLongestSpan)
            samples.push_back(static_cast<uint16_t>((kLongestSpan - 1) | current));
        samples.push_back(static_cast<uint16_t>((span - 1) | now));
        current = now;
        previous = time;
    }
    if (samples.size() > kMaxLineSamples) samples.resize(kMaxLineSamples);
    // The card hands samples out two to a word: an odd last one gets a partner that holds the
    // levels one period longer.
    if (samples.size() % 2) samples.push_back(current);
    return samples;
}

void MeasuredWords(const LineTiming& timing, int bitTimeNs, int periodNs, uint32_t words[5]) {
    std::fill(words, words + 5, 0u);
    if (timing.stuck != LineTiming::Stuck::kNone) {
        words[0] =
            timing.stuck == LineTiming::Stuck::kHigh ? kBusStatusStuckHigh : kBusStatusStuckLow;
        return;
    }
    auto seen = [periodNs](int ns) {
        return static_cast<uint32_t>(Cycles(ns, periodNs) * periodNs);
    };
    words[1] = seen(timing.loopFallNs);
    words[2] = seen(timing.loopRiseNs);
    if (!timing.ack) return;
    const uint32_t fallPos = seen(timing.ackFallNs) + static_cast<uint32_t>(bitTimeNs);
    words[4] = fallPos;
    words[3] = seen(timing.ackRiseNs) + 2 * static_cast<uint32_t>(bitTimeNs) - fallPos;
}
