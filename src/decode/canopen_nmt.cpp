// Network management, SYNC, TIME and node guarding (heartbeat, boot-up) of the CANopen decoder.

#include "base/utils.h"
#include "decode/canopen_parser.h"
#include "decode/nmt_codes.h"

namespace {

// A SYNC's one data byte counts from 1 to at most 240.
constexpr uint8_t kFirstSyncCounter = 1;
constexpr uint8_t kLastSyncCounter = 240;
// TIME: milliseconds after midnight (28 bits), then days since 1984-01-01 (16 bits).
constexpr int kTimeBytes = 6;
constexpr uint32_t kMillisPerDay = 86400000;
constexpr int64_t kDaysFrom1970To1984 = 5113;

const char* NmtCommandName(uint8_t command) {
    switch (command) {
        case kNmtStart:
            return "Start Remote Node";
        case kNmtStop:
            return "Stop Remote Node";
        case kNmtEnterPreOperational:
            return "Enter Pre-Operational state";
        case kNmtResetNode:
            return "Reset Node";
        case kNmtResetCommunication:
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

std::string CANopenParser::parseSYNC(CANframe& frame, ParsedMessage* message, FrameValues* values) {
    if (message) message->addFrag(-1, 1, "Standard CANopen SYNC message", 0);
    if (frame.type == FRAME_RTR) {
        frame.RaiseStatus(Severity::kError);
        if (message)
            message->addFrag(0, 1, "This is a remote request, should be a data message", 2);
        return "Remote request with SYNC message ID?";
    }
    if (frame.length == 1 && frame.data[0] >= kFirstSyncCounter &&
        frame.data[0] <= kLastSyncCounter) {
        const int counter = frame.data[0];
        if (message) message->addFrag(0, 1, Format("Counter: %d", counter), 0);
        if (values) values->syncCounter = counter;
        return Format("SYNC %d", counter);
    }
    if (frame.length != 0) {
        frame.RaiseStatus(Severity::kWarning);
        if (message)
            message->addFrag(0, frame.length, "Unexpected data passed with SYNC message", 1);
    }
    return "SYNC";
}

std::string CANopenParser::parseTIME(CANframe& frame, ParsedMessage* message, FrameValues* values) {
    if (message) message->addFrag(-1, 1, "CANopen TIME message", 0);
    if (frame.type == FRAME_RTR || frame.length != kTimeBytes) {
        // Shown as the raw decoder shows it: on some buses the identifier carries other data.
        const std::string desc = Parser::doParse(frame, message);
        frame.RaiseStatus(Severity::kWarning);
        if (message)
            message->addFrag(0, frame.length,
                             frame.type == FRAME_RTR
                                 ? std::string("A remote request, which TIME never answers")
                                 : Format("TIME message with %d bytes of data, should have 6",
                                          static_cast<int>(frame.length)),
                             1);
        return desc;
    }
    const uint32_t millis = Build32(frame.data) & 0x0FFFFFFF;
    const uint16_t days = Build16(frame.data + 4);
    if (message) {
        message->addFrag(0, 4, Format("Milliseconds after midnight: %u", millis), 0);
        message->addFrag(4, 2, Format("Days since 1984-01-01: %u", days), 0);
    }
    if (millis >= kMillisPerDay) {
        frame.RaiseStatus(Severity::kWarning);
        if (message) message->addFrag(0, 4, "More milliseconds than a day has", 1);
        return Format("TIME: day %u, %u ms?", days, millis);
    }
    // Days since 1984-01-01 to a civil date (proleptic Gregorian, March-based years).
    const int64_t z = int64_t(days) + kDaysFrom1970To1984 + 719468;
    const int64_t era = z / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
    const unsigned seconds = millis / 1000;
    const std::string date = Format("%04d-%02d-%02d", year, month, day);
    const std::string time = Format("%02u:%02u:%02u.%03u", seconds / 3600, seconds / 60 % 60,
                                    seconds % 60, millis % 1000);
    if (values) values->time = date + "T" + time;
    return "TIME: " + date + " " + time;
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

void CANopenParser::scanGuard(StoreIndex index, CANframe& frame, StoredFrames& stored) {
    CANopenNode* node = findNode(frame.port, frame.id & 0x7F);
    if (!node) return;
    frame.LinkPrev(index, node->lastGuard);
    CANframe* previous = stored.Frame(node->lastGuard);
    if (previous) previous->LinkNext(node->lastGuard, index);
    node->lastGuard = index;
    if (frame.type == FRAME_RTR ||
        (frame.type == FRAME_DATA && previous && previous->type == FRAME_DATA))
        frame.scanInfo |= 1;
}
