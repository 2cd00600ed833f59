#include "decode/canopen_parser.h"

namespace {

constexpr uint32_t kFunctionMask = 0x3FFFFF80;  // keeps bit 29: 29-bit identifiers match nothing

}  // namespace

CANopenParser::~CANopenParser() {
    for (auto& net : nets) delete net.load();
}

void CANopenParser::FlushState() {
    std::lock_guard<std::mutex> hold(createLock);
    for (auto& net : nets) delete net.exchange(nullptr);
}

CANopenNetwork* CANopenParser::findNet(int port, bool create) {
    if (port < 0 || port >= kMaxPorts) return nullptr;
    std::atomic<CANopenNetwork*>& entry = nets[port];
    CANopenNetwork* net = entry.load(std::memory_order_acquire);
    if (net || !create) return net;
    std::lock_guard<std::mutex> hold(createLock);
    net = entry.load(std::memory_order_relaxed);
    if (!net) {
        net = new CANopenNetwork(port, context);
        entry.store(net, std::memory_order_release);
    }
    return net;
}

CANopenNode* CANopenParser::findNode(int port, int nodeId) {
    CANopenNetwork* net = findNet(port, true);
    return net ? net->findNode(nodeId) : nullptr;
}

std::string CANopenParser::doParse(CANframe& frame, ParsedMessage* message) {
    if (frame.type != FRAME_DATA && frame.type != FRAME_RTR) return Parser::doParse(frame, message);
    const uint32_t id = frame.id;
    if (id == 0x000) return parseNMT(frame, message);
    if (id == 0x080) return parseSYNC(frame, message);
    if (id == 0x7E4 || id == 0x7E5) return parseLSS(frame, message);
    const int node = id & 0x7F;
    if (node == 0) return Parser::doParse(frame, message);
    const uint32_t function = id & kFunctionMask;
    if (function == 0x080) return parseEMCY(frame, message);
    if (function == 0x580 || function == 0x600) {
        CANopenNode* owner = findNode(frame.port, node);
        if (!owner) return Parser::doParse(frame, message);
        if (!message) return owner->sdo.getShortDesc(frame);
        owner->sdo.parse(frame, message);
        return "";
    }
    if (function == 0x700) return parseGuard(frame, message);
    return Parser::doParse(frame, message);
}

void CANopenParser::Scan(int index, CANframe& frame, StoredFrames& stored) {
    const uint32_t function = frame.id & kFunctionMask;
    const int node = frame.id & 0x7F;
    if (node == 0) return;
    if (function == 0x700) {
        scanGuard(index, frame, stored);
    } else if ((function == 0x580 || function == 0x600) && frame.type == FRAME_DATA) {
        if (CANopenNode* owner = findNode(frame.port, node)) owner->sdo.scan(index, frame, stored);
    }
}
