#pragma once

#include <string>
#include <vector>

#include "hw/can_intf.h"

// One port as the hardware listings show it.
struct SurveyedPort {
    int port = 0;      // number across all cards
    int card = 0;      // card number, from 0
    int cardPort = 0;  // number within its card, from 1
    std::string name;  // its device node or SocketCAN interface
    CardInfo cardInfo;
    PortInfo portInfo;
};

// Every port of the cards found, asked for its card's and its own information, up to the first
// port that cannot be made or asked (normally the first number without a device node).
// Consecutive ports whose cards have the same serial number and type are one card.
std::vector<SurveyedPort> SurveyPorts(Cards& cards, bool rescan);

// The name of a card type: "TRL-PCI-2 - rev %d", "TRL-KX-2", ... or "Unknown: 0x%08x".
std::string CardTypeText(int cardType);
// The name of a port's card type; "SocketCAN %s" with the interface's name for an interface.
std::string CardTypeText(const SurveyedPort& port);
