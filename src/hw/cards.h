#pragma once

#include "hw/driver_calls.h"
#include "hw/port_table.h"
#include "hw/socket_calls.h"

// The CAN cards and SocketCAN interfaces the program reaches: the driver calls in use (the
// system's, or an emulated driver's), the socket calls of the interfaces and the table of the
// ports found. The program's start-up builds one and hands it to everything that opens a port;
// it outlives every port opened through it. Shared by every thread that talks to a port: the
// calls are fixed at construction and the table guards itself.
class Cards {
  public:
    // driver, sockets: the calls that stand in for the system's (not owned; they outlive this
    // object), null for the system's. socketCan: whether the scans list the SocketCAN
    // interfaces.
    Cards(DriverCalls* driver, SocketCanPorts socketCan, SocketCalls* sockets = nullptr);
    Cards(const Cards&) = delete;
    Cards& operator=(const Cards&) = delete;

    DriverCalls& driver() { return driverCalls; }
    SocketCalls& sockets() { return socketCalls; }
    PortTable& ports() { return table; }

  private:
    SystemDriverCalls systemDriver;
    SocketCalls systemSockets;
    DriverCalls& driverCalls;  // systemDriver or the driver given
    SocketCalls& socketCalls;  // systemSockets or the calls given
    PortTable table;
};
