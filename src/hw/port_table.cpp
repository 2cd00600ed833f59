#include "hw/port_table.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "hw/can_card_msg.h"
#include "hw/driver_calls.h"

namespace {
constexpr time_t kScanReuse = 5;  // seconds a scan is trusted
}  // namespace

PortTable& Ports() {
    static PortTable table;
    return table;
}

void PortTable::Scan(bool rescan) {
    MutexLock hold(lock);
    const time_t now = time(nullptr);
    if (!rescan && now - lastScan <= kScanReuse) return;
    lastScan = now;
    DriverCalls& calls = CurrentDriverCalls();
    int n = 0;
    // Each family's nodes are numbered from 00; a gap ends the family.
    for (const char* family : kNodeFamilies) {
        for (int i = 0; n < kMaxPorts; i++) {
            char name[kNameSize];
            std::snprintf(name, sizeof name, family, i);
            if (calls.Access(name, F_OK) != 0) break;
            std::memcpy(nodes[n++], name, sizeof name);
        }
    }
    maxPort = n;
}

int PortTable::Count() {
    MutexLock hold(lock);
    return maxPort;
}

std::string PortTable::Node(int port) {
    MutexLock hold(lock);
    return port >= 0 && port < maxPort ? nodes[port] : "";
}

void PortTable::SetLoading(int port, double percent) {
    if (port >= 0 && port < kMaxPorts) loading[port].store(percent, std::memory_order_relaxed);
}

double PortTable::Loading(int port) const {
    return port >= 0 && port < kMaxPorts ? loading[port].load(std::memory_order_relaxed) : 0.0;
}
