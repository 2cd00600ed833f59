// Network management, SYNC and node guarding (heartbeat, boot-up) of the CANopen decoder.

#include "base/utils.h"
#include "decode/canopen_parser.h"

namespace {

const char* NmtCommandName(uint8_t command) {
    switch (command) {
        case 0x01:
            return "Start Remote Node";
        case 0x02:
            return "Stop Remote Node";
        case 0x80:
            return "Enter Pre-Operational state";
        case 0x81:
            return "Reset Node";
        case 0x82:
            return "Reset Communications";
        default:
            return nullptr;
    }
}

const char* NodeStateName(int state) {
    switch (state) {
        case 4:
            return "Stopped";
        case 5:
            return "Operational";
        case 127:
            return "Pre-operational";
        default:
            return nullptr;
    }
}

}  // namespace

std::string CANopenParser::parseNMT(CANframe& frame, ParsedMessage* message) {
    const int length = frame.length;
    if (message) message->addFrag(-1, 1, "CANopen Network Management message", 0);
    if (length < 2) {
        frame.RaiseStatus(Severity::kError);
        if (message) message->addFrag(0, length, "Not enough data.  Should contain two bytes", 2);
        return "NMT - with missing data!";
    }
    if (length > 2) frame.RaiseStatus(Severity::kWarning);

    const uint8_t command = frame.data[0];
    const char* commandName = NmtCommandName(command);
    int commandLevel = 0;
    if (!commandName) {
        commandName = "Unknown Service";
        commandLevel = 2;
        frame.RaiseStatus(Severity::kError);
    }
    const uint8_t nodeByte = frame.data[1];
    const char* nodeName = nullptr;
    int nodeLevel = 0;
    if (nodeByte == 0) {
        nodeName = "all nodes";
    } else if (nodeByte >= 0x80) {
        nodeName = "illegal node";
        nodeLevel = 1;
        frame.RaiseStatus(Severity::kWarning);
    }

    if (message) {
        message->addFrag(0, 1, Format("NMT service code %d: %s", command, commandName),
                         commandLevel);
        if (nodeName)
            message->addFrag(1, 1, Format("Node number %d (%s)", nodeByte, nodeName), nodeLevel);
        else
            message->addFrag(1, 1, Format("Node number %d", nodeByte), 0);
        if (length > 2)
            message->addFrag(2, length - 2, "Unexpected extra data. (only two bytes expected)", 1);
    }
    if (nodeName) return Format("NMT: %s - %s", commandName, nodeName);
    return Format("NMT: %s - node %d", commandName, nodeByte);
}

std::string CANopenParser::parseSYNC(CANframe& frame, ParsedMessage* message) {
    if (message) message->addFrag(-1, 1, "Standard CANopen SYNC message", 0);
    if (frame.type == FRAME_RTR) {
        frame.RaiseStatus(Severity::kError);
        if (message)
            message->addFrag(0, 1, "This is a remote request, should be a data message", 2);
        return "Remote request with SYNC message ID?";
    }
    if (frame.length != 0) {
        frame.RaiseStatus(Severity::kWarning);
        if (message)
            message->addFrag(0, frame.length, "Unexpected data passed with SYNC message", 1);
    }
    return "SYNC";
}

std::string CANopenParser::parseGuard(CANframe& frame, ParsedMessage* message) {
    const int node = frame.id & 0x7F;
    const bool request = frame.type == FRAME_RTR;
    const int length = frame.length;
    if (message)
        message->addFrag(
            -1, 1, Format("Node guarding message %s node %d", request ? "to" : "from", node), 0);
    const std::string prefix = Format("GUARD%s%d: ", request ? "->" : "<-", node);
    if (request) {
        if (message) message->addFrag(0, 1, "Request for node guarding information", 0);
        return prefix + "Node guarding request";
    }
    if (length <= 0) {
        frame.RaiseStatus(Severity::kError);
        if (message)
            message->addFrag(0, 0, "No data passed.  Node guarding messages require 1 byte of data",
                             2);
        return prefix + "Badly formed node guard response";
    }

    const uint8_t b = frame.data[0];
    std::string desc;
    if (message)
        message->addFrag(
            0, 1, Format("Node guarding state information: 0x%02x (%s)", b, binary(b, 0xFF)), 0);
    if (b == 0) {
        if (message) message->addSubFrag(0, 1, "zero byte indicates boot-up message", 0);
        desc = prefix + "Boot-up message";
    } else {
        if (message) message->addSubFrag(0, 1, Format("Toggle bit (%s)", binary(b, 0x80)), 0);
        const int state = b & 0x7F;
        if (const char* name = NodeStateName(state)) {
            if (message)
                message->addSubFrag(
                    0, 1, Format("Node state %d (%s) - %s", state, binary(b, 0x7F), name), 0);
            desc = prefix + "node is " + name;
        } else {
            frame.RaiseStatus(Severity::kError);
            if (message)
                message->addSubFrag(
                    0, 1, Format("Node state %d (%s) - Invalid state", state, binary(b, 0x7F)), 2);
            desc = prefix + "Badly formed node guard response";
        }
    }
    if (length > 1) {
        frame.RaiseStatus(Severity::kWarning);
        if (message)
            message->addFrag(1, length - 1, "Unexpected data passed with guard message", 1);
    }
    return desc;
}

void CANopenParser::scanGuard(int index, CANframe& frame, StoredFrames& stored) {
    CANopenNode* node = findNode(frame.port, frame.id & 0x7F);
    if (!node) return;
    frame.txPrev = node->lastGuard;
    CANframe* previous = stored.Frame(node->lastGuard);
    node->lastGuard = index;
    if (previous) previous->txNext = index;
    if (frame.type == FRAME_RTR ||
        (frame.type == FRAME_DATA && previous && previous->type == FRAME_DATA))
        frame.scanInfo |= 1;
}
