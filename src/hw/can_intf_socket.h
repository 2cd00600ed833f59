#pragma once

#include <linux/can.h>
#include <sys/time.h>

#include <cstdint>
#include <string>

#include "hw/can_intf_generic.h"

class Cards;

// The card type that a SocketCAN interface reports: outside the 16-bit codes of firmware files
// and the bus analyser's types, so that both refuse it, and not a card that measures bus load.
constexpr int kCardTypeSocketCan = 0x10000;

// The driver interface on a SocketCAN interface: a raw CAN socket bound to it, reached through
// the cards' socket seam, answering the command buffer and the message records as the card
// driver does. Every error is thrown as a QuillonError. Used by one thread at a time.
class CanIntfSocket : public CanIntfGeneric {
  public:
    // cards: outlives the interface.
    explicit CanIntfSocket(Cards& cards);
    ~CanIntfSocket() override;
    CanIntfSocket(const CanIntfSocket&) = delete;
    CanIntfSocket& operator=(const CanIntfSocket&) = delete;
    // Throws QuillonError 5 for a port number that the cards' last scan did not find as an
    // interface, or an interface that is gone. Returns the interface index.
    int Open(int port) override;
    void Close() override;
    void SendCMD(unsigned int* cmd) override;
    void RecvMsg(__CANCARD_MSG& msg) override;
    void SendMsg(__CANCARD_MSG& msg) override;
    // Wakes a RecvMsg waiting on another thread; it and every later one end as timed out.
    void Interrupt() override;

    // A frame as the kernel delivers it, as the driver's message record (without time stamp).
    static void ToRecord(const can_frame& frame, __CANCARD_MSG& msg);
    // A message record to transmit, as the kernel takes it.
    static can_frame ToFrame(const __CANCARD_MSG& msg);
    // A kernel receive time stamp on a card's clock (CardClock), as the cards stamp.
    static uint32_t StampMicros(const timeval& stamp);

  private:
    // The driver's status code of one command, its results written into cmd.
    int Execute(unsigned int* cmd);
    int OpenSocket();
    void CloseSocket();
    // The bit-rate value of opcode 4: code + 1, 0 for none.
    unsigned BaudValue();
    void SetBaud(int code);
    unsigned StatusWord();

    Cards& cards;
    std::string name;
    int fd = -1;  // the socket while the port is open on the "card"
    // An event counter that RecvMsg waits on beside the socket: readable once Interrupt was
    // called; -1 when the system had none to give (a receive then ends at its time-out).
    int wakeFd = -1;
};
