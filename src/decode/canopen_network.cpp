#include "decode/canopen_network.h"

#include <algorithm>

#include "base/utils.h"
#include "decode/object_names.h"

std::string CANopenNode::getEmcyCode(uint16_t code, uint8_t errorReg) {
    if (code == 0) return errorReg ? "No error" : "Error cleared";
    const EmcyCode* end = emcyCodes + numEmcyCodes;
    auto find = [&](uint16_t wanted) -> const EmcyCode* {
        const EmcyCode* row = std::lower_bound(
            emcyCodes, end, wanted, [](const EmcyCode& r, uint16_t c) { return r.code < c; });
        return row != end && row->code == wanted ? row : nullptr;
    };
    if (const EmcyCode* row = find(code)) return row->text;
    if (const EmcyCode* row = find(code & 0xFFF0)) return row->text;
    if (const EmcyCode* row = find(code & 0xFF00))
        return Format("Unknown code of type %s", row->text);
    return "Unknown emergency code";
}

void CANopenNode::decodeMfgEmcyInfo(CANframe&, ParsedMessage*) {}

std::string CANopenNode::GetObjName(uint32_t obj) {
    std::string name;
    if (context.names && context.names->ObjName(port, nodeId, obj, &name)) return name;
    const unsigned index = obj >> 16;
    const unsigned subIndex = obj & 0xFF;
    return subIndex == 0 ? Format("object 0x%04x", index)
                         : Format("object 0x%04x.0x%02x", index, subIndex);
}

CANopenNetwork::~CANopenNetwork() {
    for (auto& node : nodes) delete node.load();
}

CANopenNode* CANopenNetwork::findNode(int nodeId) {
    if (nodeId < 1 || nodeId > kMaxNodes) return nullptr;
    std::atomic<CANopenNode*>& entry = nodes[nodeId - 1];
    if (CANopenNode* node = entry.load(std::memory_order_acquire)) return node;
    std::lock_guard<std::mutex> hold(createLock);
    CANopenNode* node = entry.load(std::memory_order_relaxed);
    if (!node) {
        node = new CANopenNode(port, nodeId, context);
        entry.store(node, std::memory_order_release);
    }
    return node;
}
