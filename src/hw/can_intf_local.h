#pragma once

#include "hw/can_intf_generic.h"

class Cards;

// The driver interface on the local device nodes, through the cards' calls of the driver seam.
// Every error the driver reports is thrown as a QuillonError. Used by one thread at a time.
class CanIntfLocal : public CanIntfGeneric {
  public:
    // cards: outlives the interface.
    explicit CanIntfLocal(Cards& cards) : cards(cards) {}
    ~CanIntfLocal() override;
    CanIntfLocal(const CanIntfLocal&) = delete;
    CanIntfLocal& operator=(const CanIntfLocal&) = delete;
    // Throws QuillonError 5 for a port number the cards' last scan did not find or a node that
    // does not open.
    int Open(int port) override;
    void Close() override;
    void SendCMD(unsigned int* cmd) override;
    void RecvMsg(__CANCARD_MSG& msg) override;
    void SendMsg(__CANCARD_MSG& msg) override;

    // Throws the QuillonError of a driver error code; returns for 0.
    static void ThrowDriverError(int code);

  private:
    Cards& cards;
    int fd = -1;
};
