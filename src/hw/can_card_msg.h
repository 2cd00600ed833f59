#pragma once

#include <cstdint>

// What crosses the CAN card driver's ioctl interface. The driver runs on the same machine and
// lays the records out little-endian, which the static assertions below hold the build to.

// The message record exchanged with the driver (24 bytes).
struct __CANCARD_MSG {
    uint32_t timeout;    // milliseconds: how long a receive may wait; set by the program
    uint32_t timestamp;  // microseconds, on the program's clock (GetTime); set by the driver
    uint32_t id;         // CAN identifier; received with bit 29 set for a 29-bit one
    uint32_t flags;      // kMsgLengthMask | kMsgRemote | kMsgExtended | kMsgError
    uint8_t data[8];
};
static_assert(sizeof(__CANCARD_MSG) == 24, "the driver's message record is 24 bytes");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the driver's records are little-endian");

// Flags of a message record.
constexpr uint32_t kMsgLengthMask = 0x0F;  // data length; 9 to 15 mean 8
constexpr uint32_t kMsgRemote = 0x10;
constexpr uint32_t kMsgExtended = 0x40;
constexpr uint32_t kMsgError = 0x80;  // received only

// The three ioctl requests (type 0xB7).
constexpr unsigned long kIoctlSendMsg = 0x4018B704;  // write, the message record
constexpr unsigned long kIoctlRecvMsg = 0xC018B705;  // read and write, the message record
constexpr unsigned long kIoctlCommand = 0xC008B706;  // read and write, the command buffer's address

// A command buffer: word 0 holds the opcode (bits 31-16) and the number of parameter words
// (bits 15-0) when sent, the status and the number of result words when returned.
constexpr int kCmdWords = 64;

// Device node names of the two card families, formatted with the node number.
constexpr const char* kNodeFamilies[] = {"/dev/ulcan%02d", "/dev/tarvelcan%02d"};
