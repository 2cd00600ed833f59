#include "sim/emulated_bus.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "base/utils.h"
#include "hw/can_bits.h"
#include "hw/card_protocol.h"

namespace {

constexpr uint32_t kBatch = 1000;        // µs: the thread wakes at most this often
constexpr uint32_t kMaxSleep = 1000000;  // µs: and at least this often
constexpr size_t kTxQueue = 64;          // frames a port may have waiting to go out

bool After(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) > 0;
}

// The arbitration field as it goes over the wire, most significant bit first: the lower value
// wins. A standard frame's dominant IDE bit beats an extended frame of the same base
// identifier, and a data frame's dominant RTR bit beats a remote one.
uint64_t ArbitrationKey(const CANframe& f) {
    const uint64_t rtr = f.type == FRAME_RTR;
    if (f.extended)
        return (uint64_t{(f.id >> 18) & 0x7FF} << 21) | (1u << 20) | (1u << 19) |
               (uint64_t{f.id & 0x3FFFF} << 1) | rtr;
    return (uint64_t{f.id & 0x7FF} << 21) | (rtr << 20);
}

// Sources may mark a 29-bit identifier by bit 29 as the program's frames do; the bus works on
// the bare identifier and the flag.
void Normalize(CANframe& f) {
    if (f.IsExtended() || f.id > kStandardIdMask) f.extended = 1;
    f.id &= f.extended ? kExtendedIdMask : kStandardIdMask;
    if (f.length > 8) f.length = 8;
}

}  // namespace

EmulatedBus::EmulatedBus(int rate)
    : busRate(rate), bitsPerSecond(static_cast<uint32_t>(BitsPerSecond(rate - 1))) {}

EmulatedBus::~EmulatedBus() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable()) thread.join();
}

void EmulatedBus::AddSource(std::unique_ptr<SimSource> source) {
    std::lock_guard<std::mutex> lock(mutex);
    sources.push_back(Source{std::move(source), 0, {}});
}

void EmulatedBus::Attach(EmulatedPort& port) {
    std::lock_guard<std::mutex> lock(mutex);
    ports.push_back(&port);
}

void EmulatedBus::Run() {
    thread = std::thread(&EmulatedBus::Loop, this);
}

int EmulatedBus::OpenPort(EmulatedPort& port) {
    std::lock_guard<std::mutex> lock(mutex);
    if (port.open) return kDriverReopen;
    port.open = true;
    port.openedAt = CardClock(GetTime());
    port.rx.clear();
    if (!started && !startAsked) {
        startAsked = true;
        wake.notify_all();
    }
    return kDriverOk;
}

int EmulatedBus::ClosePort(EmulatedPort& port) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!port.open) return kDriverClosedPort;
    port.open = false;
    port.rx.clear();
    port.tx.clear();
    port.rxReady.notify_all();
    return kDriverOk;
}

void EmulatedBus::ResetPort(EmulatedPort& port) {
    std::lock_guard<std::mutex> lock(mutex);
    port.open = false;
    port.rx.clear();
    port.tx.clear();
    port.rate = port.initialRate;
    port.rxReady.notify_all();
}

void EmulatedBus::SetRate(EmulatedPort& port, int rate) {
    std::lock_guard<std::mutex> lock(mutex);
    port.rate = rate;
}

int EmulatedBus::GetRate(EmulatedPort& port) {
    std::lock_guard<std::mutex> lock(mutex);
    return port.rate;
}

CANframe FrameOfMessage(const __CANCARD_MSG& msg) {
    CANframe frame;
    frame.type = (msg.flags & kMsgRemote) ? FRAME_RTR : FRAME_DATA;
    frame.extended = (msg.flags & kMsgExtended) != 0;
    frame.id = msg.id & 0x1FFFFFFF;
    frame.length = static_cast<int16_t>(std::min<uint32_t>(msg.flags & kMsgLengthMask, 8));
    if (frame.type == FRAME_DATA) std::memcpy(frame.data, msg.data, 8);
    return frame;
}

int EmulatedBus::Send(EmulatedPort& port, const __CANCARD_MSG& msg) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!port.open) return kDriverClosedPort;
    if (msg.flags & kMsgError) return kDriverBadParameter;
    const bool extended = msg.flags & kMsgExtended;
    const uint32_t id = msg.id & 0x1FFFFFFF;
    if (!extended && id > 0x7FF) return kDriverBadParameter;
    if (port.tx.size() >= kTxQueue) return kDriverBusy;
    const CANframe frame = FrameOfMessage(msg);
    const uint32_t now = CardClock(GetTime());
    // Nothing is carried before the time the bus has reached.
    port.tx.push_back(BusFrame{frame, started && After(clock, now) ? clock : now});
    if (longSleep) wake.notify_all();
    return kDriverOk;
}

int EmulatedBus::Receive(EmulatedPort& port, __CANCARD_MSG& msg) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!port.open) return kDriverClosedPort;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(msg.timeout);
    const bool ready =
        port.rxReady.wait_until(lock, deadline, [&] { return !port.rx.empty() || !port.open; });
    if (!port.open) return kDriverClosedPort;
    if (!ready) return kDriverTimeout;
    const uint32_t timeout = msg.timeout;
    msg = port.rx.front();
    msg.timeout = timeout;
    port.rx.pop_front();
    return kDriverOk;
}

uint32_t EmulatedBus::StatusWord(EmulatedPort& port) {
    std::lock_guard<std::mutex> lock(mutex);
    uint32_t s = port.txErrors | uint32_t{port.rxErrors} << kStatusRxErrorsShift |
                 uint32_t{port.txState} << kStatusTxStateShift |
                 uint32_t{port.rxState} << kStatusRxStateShift;
    if (!port.open) s |= kStatusClosed;
    if (Follows(port)) s |= kStatusSynchronized;
    return s;
}

LineTiming EmulatedBus::Timing(EmulatedPort& port) {
    std::lock_guard<std::mutex> lock(mutex);
    LineTiming timing = lineTiming;
    timing.stuck = port.rxStuck;
    bool other = !sources.empty();
    for (const EmulatedPort* p : ports)
        if (p != &port && Follows(*p)) other = true;
    timing.ack = other && port.rate == busRate;
    return timing;
}

uint32_t EmulatedBus::LoadTenths(EmulatedPort& port) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!Follows(port)) return 0;
    RollLoad(CardClock(GetTime()));
    return loadTenths;
}

void EmulatedBus::Counters(EmulatedPort& port, uint64_t* received, uint64_t* overruns,
                           uint64_t* sent) {
    std::lock_guard<std::mutex> lock(mutex);
    *received = port.received;
    *overruns = port.overruns;
    *sent = port.sent;
}

void EmulatedBus::Loop() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (!started && !startAsked) {
            wake.wait(lock);
            continue;
        }
        const uint32_t now = CardClock(GetTime());
        if (!started) {
            // Sources are called from this thread only: they start here, not in OpenPort.
            started = true;
            clock = loadStart = now;
            for (auto& s : sources) {
                s.source->Start(now);
                s.nextPoll = now;
            }
        }
        Advance(now);
        for (EmulatedPort* port : ports)
            if (!port->rx.empty()) port->rxReady.notify_all();
        std::optional<uint32_t> next = inFlight ? inFlight->end : NextEvent();
        uint32_t delay = kMaxSleep;
        if (next) delay = After(*next, now) ? std::min(*next - now, kMaxSleep) : 0;
        delay = std::max(delay, kBatch);
        longSleep = delay > kBatch;
        wake.wait_for(lock, std::chrono::microseconds(delay));
    }
}

void EmulatedBus::Poll(Source& s, uint32_t at) {
    std::vector<CANframe>& out = polled;
    out.clear();
    const uint32_t next = s.source->Poll(at, out);
    // A source that wants to be asked again at once is asked after the next batch instead.
    s.nextPoll = After(next, at) ? next : at + kBatch;
    for (CANframe& frame : out) {
        if (frame.type != FRAME_DATA && frame.type != FRAME_RTR) continue;
        Normalize(frame);
        s.pending.push_back(BusFrame{frame, at});
    }
}

std::optional<uint32_t> EmulatedBus::NextEvent() const {
    std::optional<uint32_t> next;
    auto consider = [&](uint32_t t) {
        if (!next || After(*next, t)) next = t;
    };
    for (const EmulatedPort* port : ports)
        if (Follows(*port) && !port->tx.empty()) consider(port->tx.front().ready);
    for (const Source& s : sources) {
        consider(s.nextPoll);
        if (!s.pending.empty()) consider(s.pending.front().ready);
    }
    return next;
}

bool EmulatedBus::StartWinner() {
    std::deque<BusFrame>* best = nullptr;
    EmulatedPort* sender = nullptr;
    uint64_t bestKey = 0;
    auto consider = [&](std::deque<BusFrame>& queue, EmulatedPort* from) {
        if (queue.empty() || After(queue.front().ready, clock)) return;
        const uint64_t key = ArbitrationKey(queue.front().frame);
        if (best && key >= bestKey) return;
        best = &queue;
        sender = from;
        bestKey = key;
    };
    for (EmulatedPort* port : ports)
        if (Follows(*port)) consider(port->tx, port);
    for (Source& s : sources) consider(s.pending, nullptr);
    if (!best) return false;
    const uint64_t bits = static_cast<uint64_t>(FrameBusBits(best->front().frame));
    // Rounded up: an emulated bus never carries more than a real one.
    const auto duration =
        static_cast<uint32_t>((bits * 1000000 + bitsPerSecond - 1) / bitsPerSecond);
    inFlight = InFlight{best->front(), sender, clock + duration, duration};
    best->pop_front();
    return true;
}

void EmulatedBus::Advance(uint32_t now) {
    for (;;) {
        if (inFlight) {
            if (After(inFlight->end, now)) return;
            const InFlight done = *inFlight;
            inFlight.reset();
            clock = done.end;
            Deliver(done);
            // Answers to the frame, and a flood's next frame, may go out right after it.
            for (Source& s : sources) Poll(s, clock);
            continue;
        }
        for (Source& s : sources)
            if (!After(s.nextPoll, clock)) Poll(s, clock);
        if (StartWinner()) continue;
        const std::optional<uint32_t> next = NextEvent();
        if (!next || After(*next, now)) {
            if (After(now, clock)) clock = now;
            return;
        }
        clock = *next;
    }
}

void EmulatedBus::Deliver(const InFlight& done) {
    RollLoad(done.end);
    loadBusy += done.duration;
    const CANframe& frame = done.bus.frame;
    __CANCARD_MSG msg{};
    msg.timestamp = done.end;
    msg.id = frame.extended ? frame.id | kExtendedMark : frame.id;
    msg.flags = static_cast<uint32_t>(frame.length) | (frame.type == FRAME_RTR ? kMsgRemote : 0) |
                (frame.extended ? kMsgExtended : 0);
    if (frame.type == FRAME_DATA)
        std::memcpy(msg.data, frame.data, static_cast<size_t>(frame.length));
    for (EmulatedPort* port : ports) {
        if (port == done.sender) {
            port->sent++;
            continue;
        }
        // The bus's clock may lag behind real time: a frame that ended before the port was
        // opened, as a card sees it, never reached it.
        if (!Follows(*port) || After(port->openedAt, done.end)) continue;
        if (port->rx.size() >= port->queueLimit) {
            port->overruns++;
            continue;
        }
        port->rx.push_back(msg);
        port->received++;
    }
    for (Source& s : sources) s.source->Seen(frame, done.end);
}

void EmulatedBus::RollLoad(uint32_t now) {
    const uint32_t elapsed = now - loadStart;
    if (static_cast<int32_t>(elapsed) < 1000000) return;
    loadTenths = static_cast<uint32_t>(std::min<uint64_t>(1000, loadBusy * 1000 / elapsed));
    loadStart = now;
    loadBusy = 0;
}
