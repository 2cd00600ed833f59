// Layer Setting Services of the CANopen decoder.

#include <algorithm>

#include "base/utils.h"
#include "decode/canopen_parser.h"
#include "decode/lss_tables.h"

namespace {

// Switch mode selective, identify remote slave: a 32-bit value in bytes 1 to 4.
std::string Value32(const LssRow& row, CANframe& frame, ParsedMessage* message) {
    if (frame.length >= 5) {
        const uint32_t value = Build32(frame.data + 1);
        if (message) message->addFrag(1, 4, Format("%s: 0x%08x", row.field, value), 0);
        return Format("%s, %s (0x%08x)", row.title, row.field, value);
    }
    frame.RaiseStatus(Severity::kError);
    if (message) message->addFrag(0, frame.length, "Error - command requires 5 data bytes", 2);
    return Format("%s, %s (no data)", row.title, row.field);
}

std::string FixedText(const LssRow& row, CANframe&, ParsedMessage*) {
    return row.field;
}

std::string Enquiry(const LssRow& row, CANframe&, ParsedMessage*) {
    return Format("LSS - Enquire %s", row.field);
}

std::string EnquiryResponse(const LssRow& row, CANframe& frame, ParsedMessage* message) {
    if (frame.length >= 5) {
        const uint32_t value = Build32(frame.data + 1);
        if (message) message->addFrag(1, 5, Format("%s: 0x%08x", row.field, value), 0);
        return Format("LSS - Enquire %s response (0x%08x)", row.field, value);
    }
    frame.RaiseStatus(Severity::kError);
    if (message)
        message->addFrag(0, frame.length, Format("Error - message should contain %d data bytes", 5),
                         2);
    return Format("LSS - Enquire %s response (missing data)", row.field);
}

// The dispatch has made sure of byte 0, so byte 1 is all this needs.
std::string NodeIdResponse(const LssRow& row, CANframe& frame, ParsedMessage* message) {
    const uint8_t node = frame.data[1];
    if (message) message->addFrag(1, 1, Format("%s: 0x%08x", row.field, node), 0);
    return Format("LSS - Enquire %s response (0x%02x)", row.field, node);
}

std::string ResultResponse(const LssRow& row, CANframe& frame, ParsedMessage* message) {
    if (frame.length < 3) {
        frame.RaiseStatus(Severity::kError);
        if (message)
            message->addFrag(0, frame.length,
                             "Error - message should contain two bytes of error code info", 2);
    } else if (message) {
        const uint8_t code = frame.data[1];
        message->addFrag(1, 1, Format("Error code: %d", code), 0);
        if (code == 0)
            message->addSubFrag("Protocol successfully completed", 0);
        else if (code <= 2 && row.codes[code - 1])
            message->addSubFrag(row.codes[code - 1], 0);
        else if (code == 255)
            message->addSubFrag("Manufacturer specific error", 0);
        else
            message->addSubFrag("Reserved error code", 1);
        message->addFrag(2, 1, Format("Specific error code: %d", frame.data[2]), 0);
    }
    return Format("LSS - %s response", row.title);
}

std::string SwitchModeGlobal(const LssRow&, CANframe& frame, ParsedMessage* message) {
    if (frame.length < 2) {
        frame.RaiseStatus(Severity::kError);
        if (message) message->addFrag(0, frame.length, "Error, missing mode byte", 2);
        return "LSS - with missing data!";
    }
    if (message) {
        switch (frame.data[1]) {
            case 0:
                message->addFrag(1, 1, "Switch to operational mode.", 0);
                break;
            case 1:
                message->addFrag(1, 1, "Switch to configuration mode.", 0);
                break;
            default:
                message->addFrag(1, 1, "Invalid mode, should be 0 or 1.", 2);
        }
    }
    return "LSS - Switch mode global";
}

std::string ConfigNodeId(const LssRow&, CANframe& frame, ParsedMessage* message) {
    if (frame.length >= 2) {
        if (message) message->addFrag(1, 1, Format("New node ID: %d", frame.data[1]), 0);
        return Format("LSS - Configure node ID (%d)", frame.data[1]);
    }
    frame.RaiseStatus(Severity::kError);
    if (message) message->addFrag(0, frame.length, "Error, missing node ID", 2);
    return "LSS - Configure node ID (missing data)";
}

std::string ConfigBitTiming(const LssRow&, CANframe& frame, ParsedMessage* message) {
    // kbit/s by table index of the standard table; 0 marks the reserved index.
    static const int kStandardRates[] = {1000, 800, 500, 250, 125, 0, 50, 20, 10};
    if (frame.length < 3) {
        frame.RaiseStatus(Severity::kError);
        if (message)
            message->addFrag(
                0, frame.length,
                frame.length < 2 ? "Error, bit timing data missing" : "Error, table index missing",
                2);
    } else if (message) {
        const uint8_t selector = frame.data[1];
        const uint8_t index = frame.data[2];
        message->addFrag(1, 1, Format("Table selector: %d", selector), 0);
        if (selector == 0)
            message->addSubFrag("Standard CiA bit timing table", 0);
        else if (selector >= 128)
            message->addSubFrag("Manufacturer specific table", 0);
        else
            message->addSubFrag("Reserved value", 1);
        message->addFrag(2, 1, Format("Table index: %d", index), 0);
        if (selector == 0) {
            if (index <= 8 && kStandardRates[index])
                message->addSubFrag(Format("%d kBit/sec", kStandardRates[index]), 0);
            else
                message->addSubFrag("Reserved value", 1);
        }
    }
    return "LSS - Configure bit timing parameters";
}

std::string ActivateBitTiming(const LssRow&, CANframe& frame, ParsedMessage* message) {
    if (frame.length >= 3) {
        if (message)
            message->addFrag(1, 2, Format("Switch delay %d ms", Build16(frame.data + 1)), 0);
    } else {
        frame.RaiseStatus(Severity::kError);
        if (message) message->addFrag(0, frame.length, "Error, switch delay missing", 2);
    }
    return "LSS - Activate bit timing parameters";
}

const char kSelect[] = "LSS - Switch mode select";
const char kIdentify[] = "LSS - Identify slave";

}  // namespace

const LssRow lssCmd[kLssCmdRows] = {
    {4, "Switch mode global", SwitchModeGlobal, nullptr, nullptr, {}},
    {17, "Configure node ID", ConfigNodeId, nullptr, nullptr, {}},
    {19, "Configure bit timing", ConfigBitTiming, nullptr, nullptr, {}},
    {21, "Activate bit timing", ActivateBitTiming, nullptr, nullptr, {}},
    {23, "Store configuration", FixedText, nullptr, "LSS - Store configuration", {}},
    {64, "Switch mode selective", Value32, kSelect, "Vendor ID", {}},
    {65, "Switch mode selective", Value32, kSelect, "Product code", {}},
    {66, "Switch mode selective", Value32, kSelect, "Revision number", {}},
    {67, "Switch mode selective", Value32, kSelect, "Serial number", {}},
    {70, "Identify remote slave", Value32, kIdentify, "Vendor ID", {}},
    {71, "Identify remote slave", Value32, kIdentify, "Product code", {}},
    {72, "Identify remote slave", Value32, kIdentify, "Revision number low", {}},
    {73, "Identify remote slave", Value32, kIdentify, "Revision number high", {}},
    {74, "Identify remote slave", Value32, kIdentify, "Serial number low", {}},
    {75, "Identify remote slave", Value32, kIdentify, "Serial number high", {}},
    {76, "Identify non-configured", FixedText, nullptr, "LSS - Identify non-configured slaves", {}},
    {90, "Enquire vendor ID", Enquiry, nullptr, "Vendor ID", {}},
    {91, "Enquire product code", Enquiry, nullptr, "Product code", {}},
    {92, "Enquire revision number", Enquiry, nullptr, "Revision number", {}},
    {93, "Enquire serial number", Enquiry, nullptr, "Serial number", {}},
    {94, "Enquire node ID", Enquiry, nullptr, "Node ID", {}},
};

const LssRow lssResp[kLssRespRows] = {
    {17,
     "Configure node ID response",
     ResultResponse,
     "Configure Node-ID",
     nullptr,
     {"Node ID out of range", nullptr}},
    {19,
     "Configure bit timing response",
     ResultResponse,
     "Configure Bit Timing",
     nullptr,
     {"Bit timing not supported", nullptr}},
    {23,
     "Store configuration response",
     ResultResponse,
     "Store Configuration",
     nullptr,
     {"Store config not supported", "Storage media access error"}},
    {68,
     "Switch mode selective response",
     FixedText,
     nullptr,
     "LSS - Switch Mode Selective response",
     {}},
    {79, "Identify slave response", nullptr, nullptr, nullptr, {}},
    {80, "Identify non-configured response", nullptr, nullptr, nullptr, {}},
    {90, "Enquire vendor ID response", EnquiryResponse, nullptr, "Vendor ID", {}},
    {91, "Enquire product code response", EnquiryResponse, nullptr, "Product code", {}},
    {92, "Enquire revision number response", EnquiryResponse, nullptr, "Revision number", {}},
    {93, "Enquire serial number response", EnquiryResponse, nullptr, "Serial number", {}},
    {94, "Enquire node ID response", NodeIdResponse, nullptr, "Node ID", {}},
};

std::string CANopenParser::parseLSS(CANframe& frame, ParsedMessage* message) {
    if (message) message->addFrag(-1, 1, "CANopen Layer Setting Services (LSS)", 0);
    if (frame.length <= 0) {
        frame.RaiseStatus(Severity::kError);
        if (message)
            message->addFrag(0, frame.length, "Not enough data.  Needs at least one byte.", 2);
        return "LSS - with missing data!";
    }
    const bool command = frame.id == 0x7E5;
    const LssRow* begin = command ? lssCmd : lssResp;
    const LssRow* end = begin + (command ? kLssCmdRows : kLssRespRows);
    const uint8_t specifier = frame.data[0];
    const LssRow* row = std::lower_bound(
        begin, end, specifier, [](const LssRow& r, uint8_t s) { return r.specifier < s; });
    if (message) message->addFrag(0, 1, Format("LSS command specifier %d", specifier), 0);
    if (row == end || row->specifier != specifier) {
        frame.RaiseStatus(Severity::kError);
        if (message) message->addSubFrag(0, 1, "Illegal value for command specifier", 2);
        return "LSS - Invalid command";
    }
    if (message) message->addSubFrag(0, 1, row->name, 0);
    if (!row->handler) return Format("LSS - %s", row->name);
    return row->handler(*row, frame, message);
}
