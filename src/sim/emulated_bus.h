#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "hw/card_protocol.h"
#include "sim/emulated_line_capture.h"
#include "sim/sim_source.h"
#include "store/can_frame.h"

class EmulatedBus;

// The data or remote frame a port writes as a driver message: the identifier masked to 29 bits,
// at most 8 bytes, the bytes copied for a data frame only.
CANframe FrameOfMessage(const __CANCARD_MSG& msg);

// A frame waiting to go on the bus, from a port or a source, and since when it waits.
struct BusFrame {
    CANframe frame;
    uint32_t ready;
};

// One port of an emulated card as its bus sees it. Every field but the constant ones is guarded
// by its bus's mutex.
struct EmulatedPort {
    EmulatedPort(EmulatedBus& bus, int rate, size_t queueLimit)
        : bus(bus), initialRate(rate), queueLimit(queueLimit), rate(rate) {}

    EmulatedBus& bus;
    const int initialRate;  // driver bit-rate value 1-8, as after a reset
    const size_t queueLimit;
    int rate;
    bool open = false;
    uint32_t openedAt = 0;         // when it was last opened (GetTime clock)
    std::deque<__CANCARD_MSG> rx;  // received, not yet read
    std::deque<BusFrame> tx;       // written, not yet on the bus
    std::condition_variable rxReady;
    uint64_t received = 0;  // records put into rx
    uint64_t overruns = 0;  // records lost because rx was full
    uint64_t sent = 0;      // frames of this port the bus carried
    // Error counters and states reported in the status word.
    uint8_t txErrors = 0;
    uint8_t rxErrors = 0;
    uint8_t txState = 0;
    uint8_t rxState = 0;
    // A receive line that follows nothing (a broken transceiver); constant after set-up.
    LineTiming::Stuck rxStuck = LineTiming::Stuck::kNone;
};

// An emulated CAN bus: carries the frames of its ports and sources in real time at its bit
// rate, one frame at a time, the lowest identifier winning arbitration, each frame occupying
// the bus for its length in bits with stuffing. Its thread wakes at most once a millisecond and
// delivers every frame that has ended by then, each stamped with its exact end time.
class EmulatedBus {
  public:
    // rate: driver bit-rate value 1-8.
    explicit EmulatedBus(int rate);
    ~EmulatedBus();
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    // Set-up, before Run.
    void AddSource(std::unique_ptr<SimSource> source);
    void Attach(EmulatedPort& port);
    void Run();

    int rate() const { return busRate; }
    // The transceiver loop and the other nodes' ACK timing (set-up, before Run); the ACK is
    // ignored there.
    void SetLineTiming(const LineTiming& timing) { lineTiming = timing; }
    // How port's receive line follows its transmit line: the bus's timing, with an ACK when
    // another node is there to give it (a source, or another port following the bus) and the
    // port runs at the bus's rate.
    LineTiming Timing(EmulatedPort& port);

    // Port operations; the results are driver error codes (0 success).
    int OpenPort(EmulatedPort& port);
    int ClosePort(EmulatedPort& port);
    void SetRate(EmulatedPort& port, int rate);
    int GetRate(EmulatedPort& port);
    // Back to the state after power-up: closed, initial bit rate, queues empty.
    void ResetPort(EmulatedPort& port);
    int Send(EmulatedPort& port, const __CANCARD_MSG& msg);
    // Waits up to msg.timeout milliseconds for a frame.
    int Receive(EmulatedPort& port, __CANCARD_MSG& msg);
    uint32_t StatusWord(EmulatedPort& port);
    // Tenths of a percent of the last second's bus time that frames occupied, as the port sees
    // it (0 when it does not follow the bus).
    uint32_t LoadTenths(EmulatedPort& port);
    // received, overruns, sent of a port, read together.
    void Counters(EmulatedPort& port, uint64_t* received, uint64_t* overruns, uint64_t* sent);

  private:
    struct Source {
        std::unique_ptr<SimSource> source;
        uint32_t nextPoll = 0;
        std::deque<BusFrame> pending;
    };
    struct InFlight {
        BusFrame bus;
        EmulatedPort* sender;  // null for a source's frame
        uint32_t end;
        uint32_t duration;
    };

    void Loop();
    // Carries everything that ends by now; mutex held.
    void Advance(uint32_t now);
    void Poll(Source& source, uint32_t at);
    // The earliest time after clock at which something could start or end, if any.
    std::optional<uint32_t> NextEvent() const;
    bool StartWinner();
    void Deliver(const InFlight& done);
    void RollLoad(uint32_t now);
    bool Follows(const EmulatedPort& port) const { return port.open && port.rate == busRate; }

    const int busRate;
    const uint32_t bitsPerSecond;
    LineTiming lineTiming;  // constant after set-up

    std::mutex mutex;  // guards everything below and the attached ports' mutable fields
    std::condition_variable wake;
    std::vector<EmulatedPort*> ports;
    std::vector<Source> sources;
    bool startAsked = false;  // a port was opened: the thread is to start the sources
    bool started = false;     // the bus carries traffic
    bool stopping = false;
    bool longSleep = false;  // the thread waits longer than a millisecond: a send wakes it
    uint32_t clock = 0;      // everything up to this time has been carried
    std::optional<InFlight> inFlight;
    std::vector<CANframe> polled;  // a source's answer to Poll, kept to reuse its memory
    uint32_t loadStart = 0;        // the current second of the load measurement
    uint64_t loadBusy = 0;         // microseconds of it occupied so far
    uint32_t loadTenths = 0;
    std::thread thread;
};
