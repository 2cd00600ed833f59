#pragma once

#include <string>
#include <vector>

#include "hw/can_intf.h"

// How a port's card answered the survey's questions.
enum class CardAnswer {
    Answered,  // the information below is the card's
    Busy,      // busy through every try: nothing is known of the card
};

// One port as the hardware listings show it.
struct SurveyedPort {
    int port = 0;      // number across all cards
    int card = 0;      // card number, from 0
    int cardPort = 0;  // number within its card, from 1
    std::string name;  // its device node or SocketCAN interface
    CardAnswer answer = CardAnswer::Answered;
    CardInfo cardInfo;
    PortInfo portInfo;
};

// Every port of the cards found, asked for its card's and its own information, up to the first
// port that cannot be made or asked (normally the first number without a device node); a port
// whose card stays busy is listed as busy and the survey goes on. Consecutive ports whose cards
// answered with the same serial number and type are one card; a busy port is a card of its own.
std::vector<SurveyedPort> SurveyPorts(Cards& cards, bool rescan);

// The name of a card type: "TRL-PCI-2 - rev %d", "TRL-KX-2", ... or "Unknown: 0x%08x".
std::string CardTypeText(int cardType);
// The name of a port's card type; "SocketCAN %s" with the interface's name for an interface.
std::string CardTypeText(const SurveyedPort& port);
