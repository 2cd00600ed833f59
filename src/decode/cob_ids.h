#pragma once

#include <cstdint>

// The identifiers of CANopen's predefined connection set, as frames hold them: a service's
// function code (the identifier's upper bits) and the node-ID (its low seven bits).
namespace CobId {

// Keeps bit 29 too, so that no 29-bit identifier matches a function code.
constexpr uint32_t kFunctionMask = 0x3FFFFF80;
constexpr uint32_t kNodeMask = 0x7F;

constexpr uint32_t kNmt = 0x000;
constexpr uint32_t kSync = 0x080;
constexpr uint32_t kEmcy = 0x080;          // + node-ID
constexpr uint32_t kSdoServer = 0x580;     // + node-ID: the node's answers
constexpr uint32_t kSdoClient = 0x600;     // + node-ID: the requests to the node
constexpr uint32_t kErrorControl = 0x700;  // + node-ID: boot-up, heartbeat, guarding
constexpr uint32_t kLssMaster = 0x7E5;
constexpr uint32_t kLssSlave = 0x7E4;

constexpr uint32_t Function(uint32_t id) {
    return id & kFunctionMask;
}
constexpr int Node(uint32_t id) {
    return static_cast<int>(id & kNodeMask);
}

}  // namespace CobId
