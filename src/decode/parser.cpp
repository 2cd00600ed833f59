#include "decode/parser.h"

#include <cstdint>

#include "base/utils.h"

namespace {

struct ErrBit {
    uint32_t mask;
    const char* text;
    const char* shortName;
};

// Error bits reported in the identifier of an error frame.
constexpr ErrBit errBits[] = {
    {0x1, "Bit stuffing error", "stuff"},
    {0x2, "CAN message form error", "form"},
    {0x4, "CRC error", "crc"},
    {0x8, "No transmit ACK seen", "ack"},
    {0x10, "Transmitted 0 bit, observed 1", "bit0"},
    {0x20, "Transmitted 1 bit, observed 0", "bit1"},
    {0x10000, "CAN message buffer overflow", "overflow"},
};

void AddIdLine(const CANframe& frame, ParsedMessage* message) {
    if (frame.id & kExtendedMark)
        message->addFrag(
            -1, Format("CAN message ID (extended 29-bit ID): 0x%08x", frame.id & kExtendedIdMask),
            0);
    else
        message->addFrag(
            -1, Format("CAN message ID (standard 11-bit ID): 0x%03x", frame.id & kStandardIdMask),
            0);
}

std::string DataFrame(CANframe& frame, ParsedMessage* message) {
    const int length = frame.length;
    std::string desc;
    if ((length & 0x1F) > 8) {
        desc = Format("ERROR: CAN frame with %d bytes of data", length);
        frame.RaiseStatus(Severity::kError);
    } else {
        for (int i = 0; i < length; i++) {
            const char byte[] = {'0', 'x', HexChar(frame.data[i] >> 4), HexChar(frame.data[i]),
                                 ' '};
            desc.append(byte, sizeof byte);
        }
    }
    if (message) {
        AddIdLine(frame, message);
        message->addFrag(0, length,
                         length ? Format("Message contains %d bytes of data", length)
                                : "No data passed with message",
                         0);
    }
    return desc;
}

std::string ErrorFrame(CANframe& frame, ParsedMessage* message) {
    frame.RaiseStatus(Severity::kError);
    const char* name = "";
    for (const auto& bit : errBits) {
        if (frame.id & bit.mask) {
            name = bit.shortName;
            break;
        }
    }
    if (message) {
        message->addFrag(-1, "CAN error type mask", 0);
        uint32_t bits = frame.id;
        for (const auto& bit : errBits) {
            if (!(bits & bit.mask)) continue;
            message->addSubFrag(-1, Format("0x%08x - %s", bit.mask, bit.text), 0);
            bits &= ~bit.mask;
        }
        if (bits) message->addSubFrag(-1, Format("0x%08x - Unknown error bits", bits), 0);
        if (frame.length >= 1)
            message->addFrag(0, Format("Transmit error counter: %d", frame.data[0]), 0);
        if (frame.length >= 2)
            message->addFrag(1, Format("Receive error counter: %d", frame.data[1]), 0);
    }
    return Format("CAN %s error.  Error counters - Tx: %d, Rx: %d", name, frame.data[0],
                  frame.data[1]);
}

}  // namespace

std::string Parser::doParse(CANframe& frame, ParsedMessage* message) {
    switch (frame.type) {
        case FRAME_DATA:
            return DataFrame(frame, message);
        case FRAME_RTR:
            if (message) {
                AddIdLine(frame, message);
                message->addFrag(0, frame.length, "No data passed with remote messages", 0);
            }
            return "Remote request";
        case FRAME_ERROR:
            return ErrorFrame(frame, message);
        case FRAME_TEXT:
            return frame.text ? frame.text : "Empty comment line";
        default:
            frame.RaiseStatus(Severity::kError);
            return Format("Unknown frame type: %d", frame.type);
    }
}

void Parser::Scan(StoreIndex, CANframe&, StoredFrames&) {}

ParsedMessage* Parser::Parse(CANframe& frame) {
    auto* message = new ParsedMessage(frame);
    doParse(frame, message);
    return message;
}
