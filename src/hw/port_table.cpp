#include "hw/port_table.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "hw/card_protocol.h"
#include "hw/driver_calls.h"

namespace {
constexpr time_t kScanReuse = 5;      // seconds a scan is trusted
constexpr int kArpHardwareCan = 280;  // ARPHRD_CAN: the interface type of CAN interfaces
}  // namespace

SocketCanPorts SocketCanPortsFrom(const char* setting) {
    return setting && std::strcmp(setting, "0") == 0 ? SocketCanPorts::LeftOut
                                                     : SocketCanPorts::Listed;
}

PortTable::PortTable(DriverCalls& calls, SocketCanPorts socketCan)
    : calls(calls), socketCan(socketCan) {}

void PortTable::Scan(bool rescan) {
    std::lock_guard<std::mutex> hold(lock);
    const time_t now = time(nullptr);
    if (!rescan && now - lastScan <= kScanReuse) return;
    lastScan = now;
    int n = 0;
    // Each family's nodes are numbered from 00; a gap ends the family.
    for (const char* family : kNodeFamilies) {
        for (int i = 0; n < kMaxPorts; i++) {
            char name[kNameSize];
            std::snprintf(name, sizeof name, family, i);
            if (calls.Access(name, F_OK) != 0) break;
            interfaces[n] = false;
            std::memcpy(nodes[n++], name, sizeof name);
        }
    }
    if (socketCan == SocketCanPorts::Listed) {
        for (const std::string& name : CanInterfaces()) {
            if (n >= kMaxPorts) break;
            interfaces[n] = true;
            std::snprintf(nodes[n++], kNameSize, "%s", name.c_str());
        }
    }
    maxPort = n;
}

int PortTable::Count() {
    std::lock_guard<std::mutex> hold(lock);
    return maxPort;
}

std::string PortTable::Node(int port) {
    std::lock_guard<std::mutex> hold(lock);
    return port >= 0 && port < maxPort ? nodes[port] : "";
}

bool PortTable::IsInterface(int port) {
    std::lock_guard<std::mutex> hold(lock);
    return port >= 0 && port < maxPort && interfaces[port];
}

void PortTable::SetNetFolder(const std::string& folder) {
    std::lock_guard<std::mutex> hold(lock);
    netFolder = folder;
    lastScan = 0;
}

std::vector<std::string> PortTable::CanInterfaces() const {
    std::vector<std::string> names;
    namespace fs = std::filesystem;
    std::error_code error;  // a machine without the folder has no interfaces
    for (fs::directory_iterator entry(netFolder, error);
         !error && entry != fs::directory_iterator(); entry.increment(error)) {
        std::ifstream typeFile(entry->path() / "type");
        int type = 0;
        if (typeFile >> type && type == kArpHardwareCan)
            names.push_back(entry->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void PortTable::SetLoading(int port, double percent) {
    if (port >= 0 && port < kMaxPorts) loading[port].store(percent, std::memory_order_relaxed);
}

double PortTable::Loading(int port) const {
    return port >= 0 && port < kMaxPorts ? loading[port].load(std::memory_order_relaxed) : 0.0;
}
