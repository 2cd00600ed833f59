#pragma once

#include <atomic>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

class DriverCalls;

// Whether a port scan lists the SocketCAN interfaces after the cards' device nodes.
enum class SocketCanPorts { Listed, LeftOut };

// The choice that a value of the environment variable QUILLON_SOCKETCAN makes (null when it is
// not set): "0" leaves the interfaces out, anything else lists them. Read at start-up only.
SocketCanPorts SocketCanPortsFrom(const char* setting);

// The table of the CAN ports of one set of cards (Cards): the device node or SocketCAN
// interface of each port number, as the last scan found them, and the last measured bus load of
// each port. Ports are numbered from 0 across all cards: the first family's nodes in order, then
// the second family's, then the SocketCAN interfaces in name order (unless they are left out).
class PortTable {
  public:
    static constexpr int kMaxPorts = 64;
    static constexpr size_t kNameSize = 80;

    // calls: how a scan looks for the device nodes (not owned; it outlives the table).
    PortTable(DriverCalls& calls, SocketCanPorts socketCan);
    PortTable(const PortTable&) = delete;
    PortTable& operator=(const PortTable&) = delete;

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

    // Fixed at construction.
    DriverCalls& calls;
    const SocketCanPorts socketCan;
};
