#include "sim/canopen_sim_node.h"

#include <algorithm>

namespace {

constexpr uint32_t kHeartbeatKey = 0x10170000;
constexpr uint32_t kErrorRegisterKey = 0x10010000;
constexpr uint32_t kIdentityKey = 0x10180000;

}  // namespace

CanopenSimNode::CanopenSimNode(SimNodeSetup nodeSetup, uint64_t seed)
    : setup(std::move(nodeSetup)), random(seed), id(setup.lss ? 0 : setup.id) {
    // The description's heartbeat time is the node's configuration, kept in its object 0x1017.
    if (setup.heartbeatMs && !setup.objects.count(kHeartbeatKey))
        setup.objects[kHeartbeatKey] = ObjValue{0x06, true, {0, 0}};
    auto heartbeat = setup.objects.find(kHeartbeatKey);
    if (heartbeat != setup.objects.end()) heartbeat->second.SetNumber(setup.heartbeatMs);
    for (const auto& tpdo : setup.tpdos)
        for (uint32_t key : tpdo) {
            const bool counts = setup.objects[key].bytes.size() >= 3;
            const int32_t step = static_cast<int32_t>(random.Range(5, 400));
            motion.push_back(counts ? (random.OneIn(2) ? step : -step) : 0);
        }
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

void CanopenSimNode::Sync(uint32_t at, SimFrameQueue& queue) {
    ++syncs;
    size_t m = 0;
    uint32_t due = at + Delay();
    for (size_t k = 0; k < setup.tpdos.size(); ++k) {
        uint8_t data[8] = {};
        int length = 0;
        for (uint32_t key : setup.tpdos[k]) {
            ObjValue& value = objects[key];
            const size_t size = value.bytes.size();
            if (motion[m] != 0) {
                // An axis moving to and fro.
                if (syncs % 500 == 0) motion[m] = -motion[m];
                value.SetNumber(value.Number() + static_cast<uint64_t>(motion[m]));
            } else if (size > 0 && random.OneIn(40)) {
                // An input that changes now and then.
                value.bytes[0] ^= static_cast<uint8_t>(1u << random.Range(0, size == 1 ? 7 : 3));
            }
            std::copy(value.bytes.begin(), value.bytes.end(), data + length);
            length += static_cast<int>(size);
            ++m;
        }
        queue.Send(due, 0x180u + 0x100u * static_cast<uint32_t>(k) + static_cast<uint32_t>(id),
                   data, length);
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
