#pragma once

#include "hw/can_intf_generic.h"

// The driver interface on the local device nodes, through the system calls of the driver seam.
// Every error the driver reports is thrown as a QuillonError. Used by one thread at a time.
class CanIntfLocal : public CanIntfGeneric {
  public:
    ~CanIntfLocal() override;
    // Throws QuillonError 5 for a port number the last scan did not find or a node that does
    // not open.
    int Open(int port) override;
    void Close() override;
    void SendCMD(unsigned int* cmd) override;
    void RecvMsg(__CANCARD_MSG& msg) override;
    void SendMsg(__CANCARD_MSG& msg) override;

    // Throws the QuillonError of a driver error code; returns for 0.
    static void ThrowDriverError(int code);

  private:
    int fd = -1;
};
