#pragma once

#include <atomic>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

// The program-wide table of CAN ports: the device node or SocketCAN interface of each port
// number, as the last scan found them, and the last measured bus load of each port. Ports are
// numbered from 0 across all cards: the first family's nodes in order, then the second family's,
// then the SocketCAN interfaces in name order (none when QUILLON_SOCKETCAN is 0).
class PortTable {
  public:
    static constexpr int kMaxPorts = 64;
    static constexpr size_t kNameSize = 80;

    // Scans for the device nodes and interfaces when rescan is asked for or the last scan is more
    // than 5 seconds old.
    void Scan(bool rescan);
    // Ports found by the last scan.
    int Count();
    // The device node or interface name of a port found by the last scan ("" for another
    // number).
    std::string Node(int port);
    // Whether a port found by the last scan is a SocketCAN interface.
    bool IsInterface(int port);
    // The folder of the network interfaces (normally /sys/class/net) that the next scan reads.
    void SetNetFolder(const std::string& folder);

    void SetLoading(int port, double percent);
    double Loading(int port) const;

  private:
    // The network interfaces of type CAN in the net folder, in name order.
    std::vector<std::string> CanInterfaces() const;

    std::mutex lock;  // guards nodes, interfaces, maxPort, lastScan and netFolder
    char nodes[kMaxPorts][kNameSize] = {};
    bool interfaces[kMaxPorts] = {};
    int maxPort = 0;
    time_t lastScan = 0;
    std::string netFolder = "/sys/class/net";
    // Written by the port's reader, read by the windows.
    std::atomic<double> loading[kMaxPorts] = {};
};

PortTable& Ports();
