#pragma once

#include "hw/port_table.h"

class Cards;

// Which ports of the cards Play reads: each port's Monitor flag, set for every port at first. The
// hardware dialog shows and changes the flags; Play asks for the list. GUI thread.
class PortSelection {
  public:
    // cards: whose ports are listed (outlives the selection); null when there are none.
    explicit PortSelection(Cards* cards);

    bool Monitored(int port) const;
    // Ports outside 0..kMaxPorts-1 are ignored.
    void SetMonitored(int port, bool monitored);

    // Fills list[i] with the bit-rate code port i is set to when it is monitored, else -1, for up
    // to max ports, and returns the number of ports found (0 without a card): the first port that
    // cannot be opened or asked ends the list.
    int GetPortList(int* list, int max) const;
    // The bus load of a port in percent, as its reader last measured it (about once a second); 0
    // without cards. Any thread.
    double Loading(int port) const;

  private:
    Cards* const cards;
    bool monitor[PortTable::kMaxPorts];
};
