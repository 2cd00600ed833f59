#include "session/port_selection.h"

#include "base/quillon_error.h"
#include "hw/can_intf.h"
#include "hw/cards.h"

PortSelection::PortSelection(Cards* cards) : cards(cards) {
    for (bool& m : monitor) m = true;
}

bool PortSelection::Monitored(int port) const {
    return port >= 0 && port < PortTable::kMaxPorts && monitor[port];
}

void PortSelection::SetMonitored(int port, bool monitored) {
    if (port >= 0 && port < PortTable::kMaxPorts) monitor[port] = monitored;
}

int PortSelection::GetPortList(int* list, int max) const {
    int n = 0;
    for (; cards && n < max && n < PortTable::kMaxPorts; n++) {
        try {
            CanIntf port(*cards, n, false);
            const PortInfo info = port.getPortInfo();
            list[n] = monitor[n] ? info.baudCode : -1;
        } catch (const QuillonError&) {
            break;
        }
    }
    return n;
}

double PortSelection::Loading(int port) const {
    return cards ? cards->ports().Loading(port) : 0;
}
