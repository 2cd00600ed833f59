#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "hw/can_intf.h"
#include "store/frame_producer.h"
#include "store/port_opener.h"

// The frames of one open CAN port, stamped relative to the start of reading, with the port's
// bus load measured from the bits they occupy and reported about once a second.
//
// The card's stamps are 32 bits of the program's clock (CardClock), which wrap every 71.6
// minutes: the reader counts their wraps, taking each stamp as the time nearest the one before it
// with those 32 bits (the previous frame's, or the clock's at a read that timed out, so that a
// quiet port loses no wrap), and stamps its frames with the 64-bit time since startTime.
class CanReader : public FrameProducer {
  public:
    static constexpr int kReadTimeout = 200;  // milliseconds a read waits for a frame

    // port: open on the card at its bit rate, owned (deleting the reader closes it).
    CanReader(std::unique_ptr<CanIntf> port, uint64_t startTime, int bitsPerSecond);
    // False when no frame came within the read time-out. Errors other than that time-out are
    // thrown on after a pause of one time-out, so that a port that keeps failing (its card
    // gone) does not keep a core busy.
    bool getNextFrame(CANframe& frame) override;
    // Ends the pause after an error at once, and every later one, and wakes the port's read
    // where it can be woken (a SocketCAN interface; a card's read ends at its time-out).
    void Interrupt() override;

    uint64_t startTime;
    uint64_t lastLoadTime;
    uint64_t loadInterval = 1000000;
    uint32_t bitCount = 0;
    std::unique_ptr<CanIntf> port;
    double loadFactor;  // 100 / bits per second: bits per second to percent

  private:
    // The program's clock at a card stamp: the time nearest `recent` with its 32 bits.
    uint64_t Unwrap(uint32_t stamp) const;

    uint64_t recent;       // the last time the port stamped, or the clock read at a time-out
    std::mutex pauseLock;  // guards interrupted
    std::condition_variable pauseEnd;
    bool interrupted = false;
};

// Opens ports of the cards for the readers: a CanReader over a new CanIntf at the asked bit rate.
class CanPortOpener : public PortOpener {
  public:
    // cards: outlives the opener and every port it opens.
    explicit CanPortOpener(Cards& cards) : cards(cards) {}
    std::unique_ptr<FrameProducer> OpenPort(int port, int baudCode, uint64_t startTime) override;

  private:
    Cards& cards;
};
