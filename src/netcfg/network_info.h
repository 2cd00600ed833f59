#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "decode/obj_dict.h"

class CfgElement;
class NetworkConfig;
class NetworkInfo;

// Enters each item of slots into byKey under key(item) (keys outside byKey are not entered). Items
// sharing a key are all marked redundant; the first in slot order keeps the entry.
template <typename Slots, typename Map, typename Key>
void MapByKey(Slots& slots, Map& byKey, Key key) {
    byKey.fill(nullptr);
    for (auto& item : slots) {
        if (!item) continue;
        item->redundant = false;
        const int k = key(*item);
        if (k < 0 || k >= static_cast<int>(byKey.size())) continue;
        if (auto& entry = byKey[k]) {
            entry->redundant = true;
            item->redundant = true;
        } else {
            entry = item.get();
        }
    }
}

// What the validity checks found; msg is empty when all is well.
struct NetValidDetails {
    bool portOk = false;
    bool edsOk = false;
    const char* msg = "";
};
struct NodeValidDetails {
    bool idOk = false;
    bool edsOk = false;
    const char* msg = "";
};

// One node of a configured network: its name, id and EDS file.
class NodeInfo {
  public:
    // From a "Node" element of a configuration file; null: "Node 1" with id 1. dictionaries:
    // where its EDS files are read, kept for as long as the node.
    NodeInfo(const CfgElement* e, EdsList& dictionaries);
    // A copy that belongs to no network and no tree item yet.
    explicit NodeInfo(const NodeInfo* other);

    // Also renames a node that still has its automatic name "Node <id>".
    void setIdStr(const std::string& s);
    // True when the EDS file cannot be loaded.
    bool setEDS(const std::string& path);
    bool isValid(NodeValidDetails* d);
    // From the node's own dictionary, else its network's; null without either.
    ObjInfo* GetObjInfo(uint32_t key);
    std::unique_ptr<CfgElement> toCfg() const;

    void* extra = nullptr;  // the user interface's handle
    std::string name = "Node 1";
    std::string eds;
    std::string idStr = "1";
    int32_t id = 1;
    bool redundant = false;  // another node of the network has the same id
    NetworkInfo* network = nullptr;
    CANopenObjDict* objDict = nullptr;  // shared, from dictionaries

  private:
    EdsList& dictionaries;
};

// One configured network: the CAN port it is on, a default EDS file for its nodes, and up to
// 128 nodes. `lock` guards nodes and nodesById.
class NetworkInfo {
  public:
    static constexpr int kMaxNodes = 128;

    // From a "Network" element of a configuration file; null: a network on port 0. dictionaries:
    // where its and its nodes' EDS files are read. config: the configuration the network belongs
    // to, told of every change; null for none.
    NetworkInfo(const CfgElement* e, EdsList& dictionaries, NetworkConfig* config = nullptr);
    NetworkInfo(const NetworkInfo&) = delete;
    NetworkInfo& operator=(const NetworkInfo&) = delete;

    // Also rebuilds the port map of the network's configuration.
    void setPortStr(const std::string& s);
    bool setEDS(const std::string& path);
    bool isValid(NetValidDetails* d);
    ObjInfo* GetObjInfo(uint32_t key);

    // Appends n in the first free slot; when all are taken n is dropped and false returned.
    bool AddNode(std::unique_ptr<NodeInfo> n);
    // Takes n out of the network and hands it back; null when n is not in it.
    std::unique_ptr<NodeInfo> RemoveNode(NodeInfo* n);
    void RemapNodes();
    // Has the configuration answer object names from the network's current state.
    void Publish();
    NodeInfo* FindNode(int id);
    NodeInfo* FindNode(void* extra);
    int CountNodes();
    // The node in slot i (null when free).
    NodeInfo* Node(int i);

    std::unique_ptr<CfgElement> toCfg();

    std::mutex lock;
    void* extra = nullptr;
    std::string name;
    std::string portStr = "0";
    std::string eds;
    int32_t port = 0;
    bool redundant = false;  // another network is on the same port
    CANopenObjDict* objDict = nullptr;

  private:
    EdsList& dictionaries;
    NetworkConfig* const config;
    std::array<std::unique_ptr<NodeInfo>, kMaxNodes> nodes;
    std::array<NodeInfo*, kMaxNodes> nodesById{};
};
