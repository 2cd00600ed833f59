#include "decode/canopen_network.h"

#include <algorithm>

#include "base/utils.h"
#include "decode/obj_dict.h"
#include "decode/object_names.h"

CANopenNode::CANopenNode(int port, int nodeId, const DecodeContext& context)
    : sdo(this), nodeId(nodeId), port(port), context(context) {
    powerOnPdos = PdoConfig::FromDictionary(Dictionary(), nodeId);
    pdos = powerOnPdos;
    pdosChanged = true;
}

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

CANopenObjDict* CANopenNode::Dictionary() const {
    return context.names ? context.names->Dictionary(port, nodeId) : nullptr;
}

void CANopenNode::TransferComplete(uint16_t index, uint8_t sub, const uint8_t* value,
                                   uint32_t size) {
    uint32_t number = 0;
    for (uint32_t i = 0; i < size && i < 4; i++) number |= static_cast<uint32_t>(value[i]) << 8 * i;
    if (index == kStoreParameters && size == 4 && number == kSaveSignature) {
        powerOnPdos = pdos;
    } else if (index == kRestoreDefaultParameters && size == 4 && number == kLoadSignature) {
        powerOnPdos = PdoConfig::FromDictionary(Dictionary(), nodeId);
    } else if (size > 0 && size <= 4 && pdos.Write(index, sub, number)) {
        pdosChanged = true;
    }
}

void CANopenNode::ResetPdos() {
    if (pdos == powerOnPdos) return;
    pdos = powerOnPdos;
    pdosChanged = true;
}

CANopenNetwork::~CANopenNetwork() {
    for (auto& node : nodes) delete node.load();
}

CANopenNode* CANopenNetwork::existingNode(int nodeId) {
    if (nodeId < 1 || nodeId > kMaxNodes) return nullptr;
    return nodes[nodeId - 1].load(std::memory_order_acquire);
}

void CANopenNetwork::Start() {
    started = true;
    if (!context.names) return;
    for (int id = 1; id <= kMaxNodes; id++)
        if (context.names->Dictionary(port, id)) findNode(id);
    if (CANopenObjDict* dict = context.names->Dictionary(port, 0)) {
        uint64_t cobId;
        const ObjInfo* info = dict->Find(static_cast<uint32_t>(kTimeCobIdObject) << 16);
        if (info && info->PowerOnValue(0, &cobId))
            timeId = static_cast<uint32_t>((cobId & kCobIdExtended) ? cobId & 0x3FFFFFFF
                                                                    : cobId & 0x7FF);
    }
    UpdateRoutes();
}

void CANopenNetwork::UpdateRoutes() {
    bool changed = false;
    for (auto& entry : nodes) {
        CANopenNode* node = entry.load(std::memory_order_acquire);
        if (node && node->pdosChanged) {
            node->pdosChanged = false;
            changed = true;
        }
    }
    if (!changed) return;
    PdoTable table;
    const PdoTable& previous = pdoRoutes.Current();
    for (auto& entry : nodes) {
        CANopenNode* node = entry.load(std::memory_order_acquire);
        if (!node) continue;
        for (const auto& [key, params] : node->pdos.All()) {
            if (!params.InForce()) continue;
            PdoRoute route;
            route.node = node->nodeId;
            route.dir = PdoConfig::DirOf(key);
            route.num = PdoConfig::NumOf(key);
            // Versions share the parameters, and their layouts, that did not change.
            const PdoRoute* old = previous.Find(params.FrameId());
            if (old && old->node == route.node && old->dir == route.dir && old->num == route.num &&
                *old->params == params) {
                route.params = old->params;
                route.layout = old->layout;
            } else {
                route.params = std::make_shared<const PdoParameters>(params);
                route.layout =
                    MakePdoLayout(params, route.dir, route.num, route.node, node->Dictionary());
            }
            table.Add(params.FrameId(), std::move(route));
        }
    }
    pdoRoutes.Publish(std::move(table));
}

void CANopenNetwork::ResetNodes(int nodeId) {
    if (nodeId != 0) {
        if (CANopenNode* node = existingNode(nodeId)) node->ResetPdos();
        return;
    }
    for (auto& entry : nodes)
        if (CANopenNode* node = entry.load(std::memory_order_acquire)) node->ResetPdos();
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
