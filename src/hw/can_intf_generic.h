#pragma once

#include "hw/card_protocol.h"

// The driver interface of one port: the lowest layer of the hardware access. Everything above
// speaks to a card only through it.
class CanIntfGeneric {
  public:
    virtual ~CanIntfGeneric() = default;
    // Opens the device node of port (closing any node open before); returns the descriptor.
    virtual int Open(int port) = 0;
    virtual void Close() = 0;
    // Executes a command buffer of kCmdWords words, rewritten in place with the results.
    virtual void SendCMD(unsigned int* cmd) = 0;
    // Receives one message, waiting at most the record's time-out.
    virtual void RecvMsg(__CANCARD_MSG& msg) = 0;
    // From another thread: a RecvMsg that waits ends as timed out, and so does every later one at
    // once, where the interface can be woken. The card driver's receive cannot: it ends at its
    // time-out.
    virtual void Interrupt() {}
    // Transmits one message.
    virtual void SendMsg(__CANCARD_MSG& msg) = 0;
};
