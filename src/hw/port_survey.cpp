#include "hw/port_survey.h"

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/can_intf_socket.h"
#include "hw/cards.h"

std::vector<SurveyedPort> SurveyPorts(Cards& cards, bool rescan) {
    std::vector<SurveyedPort> ports;
    for (int i = 0; i < PortTable::kMaxPorts; i++) {
        SurveyedPort p;
        try {
            CanIntf port(cards, i, rescan && i == 0);
            try {
                p.cardInfo = port.getCardInfo();
                p.portInfo = port.getPortInfo();
            } catch (const QuillonError& e) {
                if (e.code != ERR_BUSY) throw;
                p = SurveyedPort();
                p.answer = CardAnswer::Busy;
            }
        } catch (const QuillonError&) {
            break;
        }
        p.port = i;
        p.name = cards.ports().Node(i);
        if (!ports.empty()) {
            const SurveyedPort& last = ports.back();
            const bool sameCard = last.answer == CardAnswer::Answered &&
                                  p.answer == CardAnswer::Answered &&
                                  last.cardInfo.serialNum == p.cardInfo.serialNum &&
                                  last.cardInfo.cardType == p.cardInfo.cardType;
            p.card = sameCard ? last.card : last.card + 1;
            p.cardPort = sameCard ? last.cardPort + 1 : 1;
        } else {
            p.cardPort = 1;
        }
        ports.push_back(p);
    }
    return ports;
}

std::string CardTypeText(int cardType) {
    if (cardType >= 0 && cardType <= 15) return Format("TRL-PCI-2 - rev %d", cardType + 1);
    switch (cardType) {
        case 256:
        case 512:
            return "TRL-KX-2";
        case 257:
        case 513:
            return "TRL-KX-1";
        case 258:
            return "TRL-MZ-2";
        case 259:
            return "TRL-VR-1";
        case 260:
            return "TRL-VR-2";
        default:
            return Format("Unknown: 0x%08x", static_cast<unsigned>(cardType));
    }
}

std::string CardTypeText(const SurveyedPort& port) {
    if (port.cardInfo.cardType == kCardTypeSocketCan)
        return Format("SocketCAN %s", port.name.c_str());
    return CardTypeText(port.cardInfo.cardType);
}
