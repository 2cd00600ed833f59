#pragma once

#include <cstdint>

// The NMT command specifiers (the first byte of a frame with identifier 0) and the state byte of
// a node's error-control frames (boot-up, heartbeat, guarding response).
enum NmtCommand : uint8_t {
    kNmtStart = 0x01,
    kNmtStop = 0x02,
    kNmtEnterPreOperational = 0x80,
    kNmtResetNode = 0x81,
    kNmtResetCommunication = 0x82,
};
enum NmtStateByte : uint8_t {
    kNmtBootUp = 0x00,
    kNmtStopped = 0x04,
    kNmtOperational = 0x05,
    kNmtPreOperational = 0x7F,
};
// The guarding response's toggle bit, beside the state.
constexpr uint8_t kNmtToggle = 0x80;
