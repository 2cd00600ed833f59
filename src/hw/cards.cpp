#include "hw/cards.h"

Cards::Cards(DriverCalls* driver, SocketCanPorts socketCan, SocketCalls* sockets)
    : driverCalls(driver ? *driver : systemDriver),
      socketCalls(sockets ? *sockets : systemSockets),
      table(driverCalls, socketCan) {}
