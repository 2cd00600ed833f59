#pragma once

#include <cstdint>

// The error bits an error frame record holds in its identifier (the raw decoder's table), and
// how SocketCAN error frames map onto them. A kernel error class without an equivalent bit keeps
// its bit, moved up by kUnknownClassShift into bits 6-15, which the table leaves free: a bus-off
// (class 0x40) is bit 0x1000, a transmit time-out (class 0x1) bit 0x40.
constexpr uint32_t kErrStuff = 0x1;
constexpr uint32_t kErrForm = 0x2;
constexpr uint32_t kErrCrc = 0x4;
constexpr uint32_t kErrAck = 0x8;
constexpr uint32_t kErrBit0 = 0x10;
constexpr uint32_t kErrBit1 = 0x20;
constexpr uint32_t kErrBusErrors = 0x3F;
constexpr uint32_t kErrOverflow = 0x10000;
constexpr int kUnknownClassShift = 6;

// The error bits of a SocketCAN error frame: canId holds its classes (the error flag and the
// error counters' class aside), data its 8 bytes of details.
uint32_t ErrorBitsFromSocketCan(uint32_t canId, const uint8_t* data);
// The SocketCAN error classes (without the error flag) and detail bytes 0 to 5 of data that
// ErrorBitsFromSocketCan reads as bits again; bytes 6 and 7, the error counters, are the
// caller's.
uint32_t SocketCanFromErrorBits(uint32_t bits, uint8_t* data);
