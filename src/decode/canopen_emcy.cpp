// Emergency messages of the CANopen decoder.

#include "base/utils.h"
#include "decode/canopen_parser.h"

namespace {

const char* const kErrRegBitDesc[8] = {
    "Generic Error",
    "Current",
    "Voltage",
    "Temperature",
    "Communication Error",
    "Device Profile Specific",
    "Reserved (should be zero)",
    "Manufacturer Specific",
};

}  // namespace

std::string CANopenParser::parseEMCY(CANframe& frame, ParsedMessage* message) {
    const int nodeId = frame.id & 0x7F;
    const std::string prefix = Format("EMCY.%d: ", nodeId);
    CANopenNode* node = findNode(frame.port, nodeId);
    if (!node) return prefix + "Error locating node";
    if (message) message->addFrag(-1, 1, Format("Emergency message from node %d", nodeId), 1);
    if (frame.type == FRAME_RTR) {
        frame.RaiseStatus(Severity::kError);
        if (message) message->addFrag(0, 1, "Remote request to emergency object is not valid", 2);
        return prefix + "Remote request to emergency object?";
    }
    const int length = frame.length;
    if (length <= 7) {
        const bool tooShort = length <= 2;
        frame.RaiseStatus(tooShort ? Severity::kError : Severity::kWarning);
        if (message)
            message->addFrag(0, length, "Emergency messages should have 8 bytes of data",
                             tooShort ? 2 : 1);
        if (tooShort) return prefix + "Badly formed emergency message";
    }

    const uint16_t code = Build16(frame.data);
    const uint8_t reg = frame.data[2];
    if (code != 0) frame.RaiseStatus(Severity::kWarning);
    const std::string text = node->getEmcyCode(code, reg);
    if (message) {
        message->addFrag(0, 2, Format("Emergency error code: 0x%04x - ", code) + text, 0);
        message->addFrag(2, 1, Format("Error register: 0x%02x (%s)", reg, binary(reg, 0xFF)), 0);
        for (int bit = 0; bit < 8; bit++) {
            const uint8_t value = 1 << bit;
            if (reg & value)
                message->addSubFrag(
                    2, 1,
                    Format("Bit %d set (%s) - %s", bit, binary(value, value), kErrRegBitDesc[bit]),
                    0);
        }
        if (length > 3) {
            message->addFrag(3, length - 3, "Manufacturer specific error information", 0);
            node->decodeMfgEmcyInfo(frame, message);
        }
    }
    return prefix + text;
}
