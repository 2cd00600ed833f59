#include "sim/canopen_sim_node.h"

#include <algorithm>
#include <set>

#include "decode/pdo_config.h"
#include "sim/sim_pdo.h"

namespace {

constexpr uint32_t kHeartbeatKey = 0x10170000;
constexpr uint32_t kErrorRegisterKey = 0x10010000;
constexpr uint32_t kIdentityKey = 0x10180000;
constexpr uint32_t kPositionKey = 0x60640000;  // position actual value, which ramps
constexpr uint32_t kVelocityKey = 0x606C0000;  // velocity actual value: the ramp's step
constexpr uint8_t kSynchronous = 1;            // transmission type: on every SYNC
constexpr int32_t kAnalogLimit = 2000;
// A follower closes this part of its distance to the target each SYNC, lagging behind it as a
// drive's position lags its set-point.
constexpr int64_t kFollowDivisor = 8;
constexpr uint16_t kInteger16 = 0x03;  // data types of the values that drift and toggle
constexpr uint16_t kUnsigned8 = 0x05;

uint32_t Key(int index, int sub) {
    return static_cast<uint32_t>(index) << 16 | static_cast<uint32_t>(sub);
}

ObjValue Unsigned(uint64_t value, size_t bytes) {
    ObjValue v{static_cast<uint16_t>(bytes == 1 ? 0x05 : 0x07), true,
               std::vector<uint8_t>(bytes, 0)};
    v.SetNumber(value);
    return v;
}

// A value of a signed type as a number, from its bytes.
int64_t SignedNumber(const ObjValue& value) {
    const int unused = 64 - static_cast<int>(std::min<size_t>(value.bytes.size(), 8)) * 8;
    if (unused == 0 || unused == 64) return static_cast<int64_t>(value.Number());
    return static_cast<int64_t>(value.Number() << unused) >> unused;
}

// The mapping entry of an object: index, sub-index and bit length.
uint32_t Entry(uint32_t key, const std::map<uint32_t, ObjValue>& objects) {
    auto it = objects.find(key);
    const size_t bits = it == objects.end() ? 0 : it->second.bytes.size() * 8;
    return (key & 0xFFFF0000) | (key & 0xFF) << 8 | static_cast<uint32_t>(bits);
}

// Writes TPDO n + 1's parameters into objects: synchronous, at 0x180 + 0x100 n + id, mapping
// the objects of mapped.
void MapTpdo(std::map<uint32_t, ObjValue>& objects, int n, const std::vector<uint32_t>& mapped,
             int id) {
    objects[Key(kTpdoCommunication + n, 1)] =
        Unsigned(0x180u + 0x100u * static_cast<uint32_t>(n) + static_cast<uint32_t>(id), 4);
    objects[Key(kTpdoCommunication + n, 2)] = Unsigned(kSynchronous, 1);
    objects[Key(kTpdoMapping + n, 0)] = Unsigned(mapped.size(), 1);
    for (size_t i = 0; i < mapped.size(); ++i)
        objects[Key(kTpdoMapping + n, static_cast<int>(i + 1))] =
            Unsigned(Entry(mapped[i], objects), 4);
}

}  // namespace

CanopenSimNode::CanopenSimNode(SimNodeSetup nodeSetup, uint64_t seed)
    : setup(std::move(nodeSetup)), random(seed), id(setup.lss ? 0 : setup.id) {
    // The description's heartbeat time is the node's configuration, kept in its object 0x1017.
    if (setup.heartbeatMs && !setup.objects.count(kHeartbeatKey))
        setup.objects[kHeartbeatKey] = ObjValue{0x06, true, {0, 0}};
    auto heartbeat = setup.objects.find(kHeartbeatKey);
    if (heartbeat != setup.objects.end()) heartbeat->second.SetNumber(setup.heartbeatMs);
    for (size_t n = 0; n < setup.tpdos.size(); ++n)
        MapTpdo(setup.objects, static_cast<int>(n), setup.tpdos[n], setup.id);
    objects = setup.objects;
}

void CanopenSimNode::PowerOn(uint32_t now) {
    if (id == 0) return;
    state = kBooting;
    bootAt = now + random.Range(5000, 60000);
}

void CanopenSimNode::Reset(uint32_t at, bool wholeNode) {
    if (wholeNode) {
        objects = setup.objects;
    } else {
        for (const auto& [key, value] : setup.objects)
            if (key < 0x20000000) objects[key] = value;
    }
    sdo.Reset();
    state = kBooting;
    bootAt = at + (wholeNode ? random.Range(20000, 60000) : random.Range(2000, 8000));
}

uint32_t CanopenSimNode::Next(uint32_t now, uint32_t limit) const {
    uint32_t next = now + limit;
    auto earlier = [&next](uint32_t t) {
        if (static_cast<int32_t>(t - next) < 0) next = t;
    };
    if (state == kBooting) earlier(bootAt);
    if (state != kOff && state != kBooting && objects.count(kHeartbeatKey) &&
        objects.at(kHeartbeatKey).Number() != 0)
        earlier(nextHeartbeat);
    return next;
}

void CanopenSimNode::Tick(uint32_t now, SimFrameQueue& queue) {
    auto heartbeat = objects.find(kHeartbeatKey);
    const uint32_t period =
        heartbeat == objects.end() ? 0 : static_cast<uint32_t>(heartbeat->second.Number()) * 1000;
    if (state == kBooting && TimeReached(bootAt, now)) {
        queue.Send(bootAt, 0x700u + id, {0x00});
        state = kPreOperational;
        toggle = false;
        nextHeartbeat = bootAt + period;
    }
    if (state == kOff || state == kBooting || period == 0) return;
    while (TimeReached(nextHeartbeat, now)) {
        queue.Send(nextHeartbeat, 0x700u + id, {static_cast<uint8_t>(state)});
        nextHeartbeat += period;
        if (TimeReached(nextHeartbeat, now)) nextHeartbeat = now + period;
    }
}

void CanopenSimNode::Seen(const CANframe& frame, uint32_t at, SimFrameQueue& queue) {
    if (frame.id == 0x7E5 && frame.type == FRAME_DATA) return Lss(frame, at, queue);
    if (state == kOff || state == kBooting) return;
    if (frame.id == 0 && frame.type == FRAME_DATA && frame.length >= 2) {
        if (frame.data[1] == 0 || frame.data[1] == id) Nmt(frame.data[0], at);
    } else if (frame.id == 0x80 && frame.type == FRAME_DATA) {
        if (state == kOperational) Sync(at, queue);
    } else if (frame.id == 0x600u + id && frame.type == FRAME_DATA && Alive()) {
        SdoPayload request{};
        std::copy_n(frame.data, std::clamp<int>(frame.length, 0, 8), request.begin());
        std::vector<SdoPayload> answers;
        sdo.Request(request, objects, answers);
        const uint32_t due = at + Delay();
        for (const SdoPayload& answer : answers) queue.Send(due, 0x580u + id, answer.data(), 8);
    } else if (frame.id == 0x700u + id && frame.type == FRAME_RTR && setup.guardMs) {
        const uint8_t answer = static_cast<uint8_t>((toggle ? 0x80 : 0) | state);
        toggle = !toggle;
        queue.Send(at + Delay(), 0x700u + id, {answer});
    } else if (frame.type == FRAME_DATA && !frame.extended && state == kOperational) {
        // An RPDO's objects take its values at once: what an SDO upload reads is what the last
        // one carried. A follower moves toward its target on the next SYNC, as a synchronous
        // RPDO is acted on then.
        for (const SimPdo& pdo : SimPdo::InForce(objects, PdoDir::kReceive))
            if (pdo.id == frame.id) pdo.Unpack(frame, objects);
    }
}

void CanopenSimNode::Nmt(uint8_t command, uint32_t at) {
    switch (command) {
        case 0x01:
            state = kOperational;
            break;
        case 0x02:
            state = kStopped;
            break;
        case 0x80:
            state = kPreOperational;
            break;
        case 0x81:
            Reset(at, true);
            break;
        case 0x82:
            Reset(at, false);
            break;
        default:
            break;
    }
}

std::vector<std::pair<uint32_t, std::vector<uint8_t>>> CanopenSimNode::RemapWrites(
    int num, const std::vector<uint32_t>& mapped) const {
    const int comm = kTpdoCommunication + num - 1, map = kTpdoMapping + num - 1;
    auto cob = setup.objects.find(Key(comm, 1));
    const uint32_t cobId =
        static_cast<uint32_t>(cob == setup.objects.end() ? 0 : cob->second.Number()) &
        ~kCobIdInvalid;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> writes;
    auto write = [&writes](uint32_t key, uint64_t value, size_t bytes) {
        writes.emplace_back(key, Unsigned(value, bytes).bytes);
    };
    write(Key(comm, 1), cobId | kCobIdInvalid, 4);
    write(Key(map, 0), 0, 1);
    for (size_t i = 0; i < mapped.size(); ++i)
        write(Key(map, static_cast<int>(i + 1)), Entry(mapped[i], setup.objects), 4);
    write(Key(map, 0), mapped.size(), 1);
    write(Key(comm, 1), cobId, 4);
    return writes;
}

void CanopenSimNode::Move() {
    std::set<uint32_t> carried;
    for (int n = 0; n < kMaxPdos; ++n) {
        auto count = objects.find(Key(kTpdoMapping + n, 0));
        if (count == objects.end()) break;
        for (uint64_t i = 1; i <= count->second.Number() && i <= kMaxMappedEntries; ++i) {
            auto entry = objects.find(Key(kTpdoMapping + n, static_cast<int>(i)));
            if (entry != objects.end())
                carried.insert(MappedObject(static_cast<uint32_t>(entry->second.Number())));
        }
    }
    // A follower moves whether a TPDO carries it or not; the target is the master's to move.
    if (setup.follower) carried.insert(setup.follower);
    carried.erase(setup.target);
    for (uint32_t key : carried) {
        auto it = objects.find(key);
        if (it == objects.end() || it->second.VariableSize()) continue;
        ObjValue& value = it->second;
        const size_t size = value.bytes.size();
        if (key == kVelocityKey) {
            auto step = motion.find(kPositionKey);
            value.SetNumber(static_cast<uint64_t>(step == motion.end() ? 0 : step->second));
        } else if (size >= 3 || key == setup.follower) {
            // An axis moving to and fro, or following its target.
            auto step = motion.find(key);
            if (step == motion.end()) {
                // Drawn for a follower too, so that following leaves the random choices of the
                // other values as they were.
                const int32_t s = static_cast<int32_t>(random.Range(5, 400));
                step = motion.emplace(key, random.OneIn(2) ? s : -s).first;
            }
            auto target = objects.find(setup.target);
            if (key == setup.follower && target != objects.end())
                step->second = static_cast<int32_t>(
                    (SignedNumber(target->second) - SignedNumber(value)) / kFollowDivisor);
            else if (syncs % 500 == 0)
                step->second = -step->second;
            value.SetNumber(value.Number() + static_cast<uint64_t>(step->second));
        } else if (size == 2 && value.dataType == kInteger16) {
            // An analog value drifting within its range.
            const int32_t now =
                static_cast<int16_t>(value.Number()) + static_cast<int32_t>(random.Range(0, 6)) - 3;
            value.SetNumber(static_cast<uint16_t>(std::clamp(now, -kAnalogLimit, kAnalogLimit)));
        } else if (size == 1 && value.dataType == kUnsigned8 && random.OneIn(40)) {
            // Digital inputs that change now and then.
            value.bytes[0] ^= static_cast<uint8_t>(1u << random.Range(0, 7));
        }
    }
}

void CanopenSimNode::Sync(uint32_t at, SimFrameQueue& queue) {
    ++syncs;
    Move();
    uint32_t due = at + Delay();
    for (const SimPdo& pdo : SimPdo::InForce(objects, PdoDir::kTransmit)) {
        uint8_t data[8];
        int length = 0;
        if (!pdo.Pack(objects, data, &length)) continue;  // a mapping no frame holds is not sent
        queue.Send(due, pdo.id, data, length);
        due += 60;
    }
}

void CanopenSimNode::Emergency(uint16_t code, uint8_t reg, uint32_t at, SimFrameQueue& queue) {
    uint8_t data[8] = {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8), reg};
    if (code != 0)
        for (int i = 3; i < 8; ++i) data[i] = static_cast<uint8_t>(random.Range(0, 255));
    auto errorRegister = objects.find(kErrorRegisterKey);
    if (errorRegister != objects.end()) errorRegister->second.SetNumber(reg);
    queue.Send(at, 0x80u + id, data, 8);
}

void CanopenSimNode::Lss(const CANframe& frame, uint32_t at, SimFrameQueue& queue) {
    if (!setup.lss || frame.length < 1) return;
    const uint8_t command = frame.data[0];
    auto answer = [&](uint8_t specifier, uint8_t b1, uint8_t b2) {
        queue.Send(at + Delay(), 0x7E4, {specifier, b1, b2, 0, 0, 0, 0, 0});
    };
    if (command == 0x04) {
        if (frame.data[1] == 1 && setup.lss == 2) {
            lssConfiguring = true;
        } else if (frame.data[1] == 0) {
            lssConfiguring = false;
            lssMatched = 0;
            // A new node-ID takes effect with a communication reset.
            if (pendingId != 0 && pendingId != id) {
                id = pendingId;
                Reset(at, false);
            }
        }
    } else if (command >= 0x40 && command <= 0x43) {
        const int field = command - 0x40;
        auto identity = objects.find(kIdentityKey | static_cast<uint32_t>(field + 1));
        const uint32_t mine =
            identity == objects.end() ? 0 : static_cast<uint32_t>(identity->second.Number());
        const uint32_t asked =
            static_cast<uint32_t>(frame.data[1] | frame.data[2] << 8 | frame.data[3] << 16) |
            static_cast<uint32_t>(frame.data[4]) << 24;
        lssMatched = mine == asked && lssMatched == field ? field + 1 : 0;
        if (lssMatched == 4) {
            lssConfiguring = true;
            answer(0x44, 0, 0);
        }
    } else if (!lssConfiguring) {
        return;
    } else if (command == 0x11) {
        const uint8_t wanted = frame.data[1];
        const bool valid = (wanted >= 1 && wanted <= 127) || wanted == 0xFF;
        if (valid) pendingId = wanted == 0xFF ? 0 : wanted;
        answer(0x11, valid ? 0 : 1, 0);
    } else if (command == 0x17) {
        answer(0x17, 0, 0);
    } else if (command == 0x5E) {
        answer(0x5E, static_cast<uint8_t>(id ? id : 0xFF), 0);
    }
}
