#pragma once

#include <atomic>
#include <ctime>
#include <string>

#include "base/threads_posix.h"

// The program-wide table of CAN ports: the device node of each port number, as the last scan
// found them, and the last measured bus load of each port. Ports are numbered from 0 across all
// cards: the first family's nodes in order, then the second family's.
class PortTable {
  public:
    static constexpr int kMaxPorts = 64;
    static constexpr size_t kNameSize = 80;

    // Scans for the device nodes when rescan is asked for or the last scan is more than
    // 5 seconds old.
    void Scan(bool rescan);
    // Ports found by the last scan.
    int Count();
    // The device node of a port found by the last scan ("" for another number).
    std::string Node(int port);

    void SetLoading(int port, double percent);
    double Loading(int port) const;

  private:
    Mutex lock;  // guards nodes, maxPort and lastScan
    char nodes[kMaxPorts][kNameSize] = {};
    int maxPort = 0;
    time_t lastScan = 0;
    // Written by the port's reader, read by the windows.
    std::atomic<double> loading[kMaxPorts] = {};
};

PortTable& Ports();
