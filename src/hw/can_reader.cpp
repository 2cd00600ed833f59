#include "hw/can_reader.h"

#include <chrono>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/card_protocol.h"

CanReader::CanReader(std::unique_ptr<CanIntf> port, uint64_t startTime, int bitsPerSecond)
    : startTime(startTime),
      lastLoadTime(startTime),
      port(std::move(port)),
      loadFactor(100.0 / bitsPerSecond),
      recent(startTime) {}

uint64_t CanReader::Unwrap(uint32_t stamp) const {
    const int32_t after = static_cast<int32_t>(stamp - CardClock(recent));
    return recent + static_cast<uint64_t>(static_cast<int64_t>(after));
}

bool CanReader::getNextFrame(CANframe& frame) {
    uint64_t now;
    bool got;
    try {
        port->read(frame, kReadTimeout);
        now = recent = Unwrap(static_cast<uint32_t>(frame.timestamp));
        frame.timestamp = now > startTime ? now - startTime : 0;  // a frame from before the start
        // Identifier, control and CRC fields plus the data, stuffing not counted.
        bitCount += ((frame.id & kExtendedMark) ? 68 : 48) + 8 * frame.length;
        got = true;
    } catch (const QuillonError& e) {
        if (e.code != ERR_TIMEOUT) {
            std::unique_lock<std::mutex> hold(pauseLock);
            pauseEnd.wait_for(hold, std::chrono::milliseconds(kReadTimeout),
                              [this] { return interrupted; });
            throw;
        }
        now = recent = GetTime();
        got = false;
    }
    if (now - lastLoadTime >= loadInterval) {
        port->SetLoading(bitCount * 1000000.0 / (now - lastLoadTime) * loadFactor);
        lastLoadTime = now;
        bitCount = 0;
    }
    return got;
}

void CanReader::Interrupt() {
    {
        std::lock_guard<std::mutex> hold(pauseLock);
        interrupted = true;
    }
    pauseEnd.notify_all();
    port->Interrupt();
}

std::unique_ptr<FrameProducer> CanPortOpener::OpenPort(int port, int baudCode, uint64_t startTime) {
    auto can = std::make_unique<CanIntf>(cards, port, false);
    can->setBaud(baudCode);
    can->open();
    return std::make_unique<CanReader>(std::move(can), startTime, CanIntf::GetBPS(baudCode));
}
