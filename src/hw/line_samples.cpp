#include "hw/line_samples.h"

#include "hw/can_bits.h"
#include "hw/card_protocol.h"

namespace {

// The levels from one sample on, at the time that sample shows them.
struct LineLevels {
    int64_t time;
    int tx;
    int rx;
};

std::vector<LineLevels> Timeline(const std::vector<uint16_t>& samples) {
    std::vector<LineLevels> levels;
    levels.reserve(samples.size());
    int64_t time = 0;
    for (uint16_t s : samples) {
        time += (s & kSampleTime) + 1;
        levels.push_back({time, (s & kSampleTx) ? 1 : 0, (s & kSampleRx) ? 1 : 0});
    }
    return levels;
}

// Takes a frame's bits one at a time as a receiver does: drops stuff bits, follows the format
// and length, checks the CRC-15 and knows where the ACK slot lies. Bits are numbered from 1 at
// the start of frame, stuff bits not counted.
class FrameReader {
  public:
    enum Outcome { kMore, kFail, kDone };

    // The next bit is a stuff bit: the five before it were equal.
    bool NextIsStuff() const { return stuffing && run == 5; }
    int Bits() const { return count; }
    int AckSlot() const { return ackSlot; }  // 0 until the length is known
    bool CrcMatched() const { return matched; }

    Outcome Feed(int bit) {
        if (NextIsStuff()) {
            if (bit == last) return kFail;
            last = bit;
            run = 1;
            // A stuff bit may follow the last CRC bit; stuffing ends after it.
            if (matched) stuffing = false;
            return kMore;
        }
        count++;
        if (stuffing) {
            run = bit == last ? run + 1 : 1;
            last = bit;
        }
        if (count == 14) ide = bit;
        const int lengthEnd = ide ? 39 : 19;
        if (count >= 16 && count > lengthEnd - 4 && count <= lengthEnd)
            length = (length << 1) | bit;
        if (count == lengthEnd) {
            dataEnd = lengthEnd + 8 * length;  // a length code above 8 is taken as it is
            ackSlot = dataEnd + 17;
        }
        if (dataEnd == 0 || count <= dataEnd) {
            crc = Crc15Step(crc, bit);
        } else if (count <= dataEnd + 15) {
            received = static_cast<uint16_t>(((received << 1) | bit) & 0x7FFF);
            if (count == dataEnd + 15) {
                if (received != crc) return kFail;
                matched = true;
                if (run < 5) stuffing = false;
            }
        }
        return ackSlot && count >= ackSlot + 5 ? kDone : kMore;
    }

  private:
    int count = 0;
    int run = 0;
    int last = -1;
    bool stuffing = true;
    int ide = 0;
    int length = 0;
    int dataEnd = 0;  // 0 until the length is known
    int ackSlot = 0;
    uint16_t crc = 0;
    uint16_t received = 0;
    bool matched = false;
};

// Sums of delays in sample periods and how many each holds.
struct Tally {
    int64_t fall = 0, rise = 0, ackFall = 0, ackRise = 0;
    int falls = 0, rises = 0, ackFalls = 0, ackRises = 0;
    bool sawDominant = false, sawRecessive = false;
};

// Decodes the frame whose start of frame is levels[start] and measures its edges into tally;
// false when it is no frame with a matching CRC.
bool TryFrame(const std::vector<LineLevels>& levels, size_t start, int spb, Tally* tally) {
    FrameReader reader;
    const int64_t oneAndHalf = (3 * spb) / 2;
    int tx = 0;
    int64_t stretchStart = levels[start].time;
    int64_t lastTxEdge = stretchStart;
    bool awaitingRx = true;  // a transmit edge whose receive edge has not come yet
    int rx = start > 0 ? levels[start - 1].rx : 1;
    // A stretch of equal transmit bits: one bit up to one and a half bit times, one more for
    // every further bit time or part of it.
    auto feedStretch = [&](int64_t length) {
        const int64_t bits = length <= oneAndHalf ? 1 : 1 + (length - oneAndHalf + spb - 1) / spb;
        for (int64_t i = 0; i < bits; i++) {
            const FrameReader::Outcome outcome = reader.Feed(tx);
            if (outcome != FrameReader::kMore) return outcome;
        }
        return FrameReader::kMore;
    };
    auto receiveEdge = [&](int64_t time, int level) {
        if (awaitingRx) {
            const int64_t delay = time - lastTxEdge;
            if (level == 0) {
                tally->fall += delay;
                tally->falls++;
            } else {
                tally->rise += delay;
                tally->rises++;
            }
            awaitingRx = false;
            return;
        }
        // No transmit edge caused it: another node drives the line.
        if (!reader.AckSlot()) return;
        const int64_t offset = (time - stretchStart) / spb;
        const int64_t position = time - stretchStart - offset * spb;
        const int64_t bit = reader.Bits() + offset + 1 - (reader.NextIsStuff() ? 1 : 0);
        if (level == 0 && bit == reader.AckSlot()) {
            tally->ackFall += position;
            tally->ackFalls++;
        } else if (level == 1 && bit == reader.AckSlot() + 1) {
            tally->ackRise += position;
            tally->ackRises++;
        }
    };

    for (size_t i = start; i < levels.size(); i++) {
        const LineLevels& at = levels[i];
        if (i > start && at.tx != tx) {
            const FrameReader::Outcome outcome = feedStretch(at.time - stretchStart);
            if (outcome == FrameReader::kFail) return false;
            if (outcome == FrameReader::kDone) return true;
            tx = at.tx;
            stretchStart = lastTxEdge = at.time;
            awaitingRx = true;
        }
        if (at.rx != rx) receiveEdge(at.time, at.rx);
        rx = at.rx;
        (rx ? tally->sawRecessive : tally->sawDominant) = true;
    }
    const int64_t tail = levels.back().time - stretchStart;
    if (tail > 0 && feedStretch(tail) == FrameReader::kFail) return false;
    return reader.CrcMatched();
}

double Average(int64_t sum, int count) {
    return count ? static_cast<double>(sum) / count : 0;
}

}  // namespace

bool DecodeLineSamples(const std::vector<uint16_t>& samples, int spb, double periodNs,
                       CanBusStats* stats, bool* stuckHigh, bool* stuckLow) {
    if (spb < 1) return false;
    const std::vector<LineLevels> levels = Timeline(samples);
    int tx = 1;
    for (size_t i = 0; i < levels.size(); i++) {
        const bool startEdge = tx == 1 && levels[i].tx == 0;
        tx = levels[i].tx;
        if (!startEdge) continue;
        Tally tally;
        if (!TryFrame(levels, i, spb, &tally)) continue;
        stats->rxFall = Average(tally.fall, tally.falls) * periodNs;
        stats->rxRise = Average(tally.rise, tally.rises) * periodNs;
        stats->ackFallPos =
            tally.ackFalls ? (Average(tally.ackFall, tally.ackFalls) + spb) * periodNs : 0;
        stats->ackRiseSpan =
            tally.ackRises
                ? (Average(tally.ackRise, tally.ackRises) + 2 * spb) * periodNs - stats->ackFallPos
                : 0;
        *stuckHigh = !tally.sawDominant;
        *stuckLow = !tally.sawRecessive;
        return true;
    }
    return false;
}
