#include "hw/can_reader.h"

#include <chrono>

#include "base/quillon_error.h"
#include "base/utils.h"

CanReader::CanReader(std::unique_ptr<CanIntf> port, uint32_t startTime, int bitsPerSecond)
    : startTime(startTime),
      lastLoadTime(startTime),
      port(std::move(port)),
      loadFactor(100.0 / bitsPerSecond) {}

bool CanReader::getNextFrame(CANframe& frame) {
    uint32_t now;
    bool got;
    try {
        port->read(frame, kReadTimeout);
        now = frame.timestamp;
        frame.timestamp = now - startTime;
        // Identifier, control and CRC fields plus the data, stuffing not counted.
        bitCount += ((frame.id & 0x20000000) ? 68 : 48) + 8 * frame.length;
        got = true;
    } catch (const QuillonError& e) {
        if (e.code != ERR_TIMEOUT) {
            std::unique_lock<std::mutex> hold(pauseLock);
            pauseEnd.wait_for(hold, std::chrono::milliseconds(kReadTimeout),
                              [this] { return interrupted; });
            throw;
        }
        now = GetTime();
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

std::unique_ptr<FrameProducer> CanPortOpener::OpenPort(int port, int baudCode, uint32_t startTime) {
    auto can = std::make_unique<CanIntf>(cards, port, false);
    can->setBaud(baudCode);
    can->open();
    return std::make_unique<CanReader>(std::move(can), startTime, CanIntf::GetBPS(baudCode));
}
