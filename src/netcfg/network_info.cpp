#include "netcfg/network_info.h"

#include <algorithm>
#include <cstdio>

#include "base/cfg_element.h"
#include "base/utils.h"
#include "netcfg/network_config.h"

namespace {

// StrToInt's number, or -1 when the text is not one.
int32_t NumberOr(const std::string& s, bool* ok) {
    const int32_t value = StrToInt(s, ok);
    return *ok ? value : -1;
}

}  // namespace

NodeInfo::NodeInfo(const CfgElement* e, EdsList& dictionaries) : dictionaries(dictionaries) {
    if (!e) return;
    for (const auto& child : e->children) {
        if (child->name == "name")
            name = child->value;
        else if (child->name == "id")
            setIdStr(child->value);
        else if (child->name == "eds")
            setEDS(child->value);
    }
}

NodeInfo::NodeInfo(const NodeInfo* other)
    : name(other->name),
      eds(other->eds),
      idStr(other->idStr),
      id(other->id),
      redundant(other->redundant),
      objDict(other->objDict),
      dictionaries(other->dictionaries) {}

void NodeInfo::setIdStr(const std::string& s) {
    const bool automatic = name == Format("Node %d", id);
    idStr = s;
    bool ok;
    id = NumberOr(s, &ok);
    if (automatic) name = Format("Node %d", id);
    if (network) network->RemapNodes();
}

bool NodeInfo::setEDS(const std::string& path) {
    eds = path;
    objDict = dictionaries.LoadEDS(path);
    if (network) network->Publish();
    return objDict == nullptr;
}

bool NodeInfo::isValid(NodeValidDetails* d) {
    const char* msg = "";
    bool ok;
    StrToInt(idStr, &ok);
    if (!ok)
        msg = "Error parsing node ID";
    else if (id < 1 || id > 127)
        msg = "Invalid node ID (valid range is 1 to 127)";
    else if (redundant)
        msg = "ID value already in use on network";
    const bool idOk = !*msg;
    const bool edsOk = eds.empty() || objDict;
    if (!edsOk) msg = "Unable to load EDS file";
    if (d) *d = {idOk, edsOk, msg};
    return idOk && edsOk;
}

ObjInfo* NodeInfo::GetObjInfo(uint32_t key) {
    if (objDict) return objDict->getInfo(key);
    return network ? network->GetObjInfo(key) : nullptr;
}

std::unique_ptr<CfgElement> NodeInfo::toCfg() const {
    auto e = std::make_unique<CfgElement>("Node");
    e->addLeaf("name", name);
    e->addLeaf("id", idStr);
    e->addLeaf("eds", eds);
    return e;
}

NetworkInfo::NetworkInfo(const CfgElement* e, EdsList& dictionaries, NetworkConfig* owner)
    : dictionaries(dictionaries), config(owner) {
    if (!e) return;
    for (const auto& child : e->children) {
        if (child->name == "name")
            name = child->value;
        else if (child->name == "port")
            setPortStr(child->value);
        else if (child->name == "eds")
            setEDS(child->value);
        else if (child->name == "Node")
            AddNode(std::make_unique<NodeInfo>(child.get(), dictionaries));
    }
}

void NetworkInfo::setPortStr(const std::string& s) {
    portStr = s;
    bool ok;
    port = NumberOr(s, &ok);
    if (config) config->RemapNets();
}

bool NetworkInfo::setEDS(const std::string& path) {
    eds = path;
    objDict = dictionaries.LoadEDS(path);
    Publish();
    return objDict == nullptr;
}

bool NetworkInfo::isValid(NetValidDetails* d) {
    const char* msg = "";
    bool ok;
    port = NumberOr(portStr, &ok);
    if (!ok)
        msg = "Error parsing port number";
    else if (static_cast<uint32_t>(port) > 63)
        msg = "Invalid CAN port number";
    else if (redundant)
        msg = "CAN port in use by another network";
    const bool portOk = !*msg;
    const bool edsOk = eds.empty() || objDict;
    if (!edsOk) msg = "Unable to load EDS file";
    if (d) *d = {portOk, edsOk, msg};
    return portOk && edsOk;
}

ObjInfo* NetworkInfo::GetObjInfo(uint32_t key) {
    return objDict ? objDict->getInfo(key) : nullptr;
}

bool NetworkInfo::AddNode(std::unique_ptr<NodeInfo> n) {
    {
        std::lock_guard<std::mutex> hold(lock);
        n->network = this;
        auto slot = std::find(nodes.begin(), nodes.end(), nullptr);
        if (slot == nodes.end()) return false;
        *slot = std::move(n);
    }
    RemapNodes();
    return true;
}

std::unique_ptr<NodeInfo> NetworkInfo::RemoveNode(NodeInfo* n) {
    std::unique_ptr<NodeInfo> removed;
    {
        std::lock_guard<std::mutex> hold(lock);
        for (auto& slot : nodes)
            if (slot.get() == n) removed = std::move(slot);
    }
    RemapNodes();
    return removed;
}

void NetworkInfo::RemapNodes() {
    {
        std::lock_guard<std::mutex> hold(lock);
        MapByKey(nodes, nodesById, [](const NodeInfo& n) { return n.id; });
    }
    Publish();
}

void NetworkInfo::Publish() {
    if (config) config->Publish();
}

NodeInfo* NetworkInfo::FindNode(int id) {
    std::lock_guard<std::mutex> hold(lock);
    return id >= 0 && id < kMaxNodes ? nodesById[id] : nullptr;
}

NodeInfo* NetworkInfo::FindNode(void* handle) {
    std::lock_guard<std::mutex> hold(lock);
    for (auto& node : nodes)
        if (node && node->extra == handle) return node.get();
    return nullptr;
}

int NetworkInfo::CountNodes() {
    std::lock_guard<std::mutex> hold(lock);
    return static_cast<int>(
        std::count_if(nodes.begin(), nodes.end(), [](const auto& n) { return n != nullptr; }));
}

NodeInfo* NetworkInfo::Node(int i) {
    std::lock_guard<std::mutex> hold(lock);
    return i >= 0 && i < kMaxNodes ? nodes[i].get() : nullptr;
}

std::unique_ptr<CfgElement> NetworkInfo::toCfg() {
    auto e = std::make_unique<CfgElement>("Network");
    e->addLeaf("name", name);
    e->addLeaf("port", portStr);
    e->addLeaf("eds", eds);
    std::lock_guard<std::mutex> hold(lock);
    for (auto& node : nodes)
        if (node) e->addChild(node->toCfg());
    return e;
}
