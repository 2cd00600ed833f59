#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "decode/object_names.h"
#include "netcfg/network_info.h"

// Which CANopen network is on which CAN port, its nodes and their EDS files: what names the
// objects of SDO transfers. Edited in place on the GUI thread (dialog, Load); `lock` guards
// nets and netsByPort, each network's lock its nodes (order: configuration, then network).
// `lock` is recursive: Load, CreateNet and RemoveNet hold it while the networks they create or
// remove call back RemapNets and Publish, which take it again.
//
// The decoders never touch networks or nodes, which an edit may destroy: after every change the
// configuration publishes an immutable table of the dictionary that names each port's and
// node's objects (dictionaries live as long as the configuration), and lookups read that table.
class NetworkConfig : public ObjectNames {
  public:
    static constexpr int kMaxNets = 10;

    NetworkConfig();
    ~NetworkConfig();
    NetworkConfig(const NetworkConfig&) = delete;
    NetworkConfig& operator=(const NetworkConfig&) = delete;

    bool CanAddNet();
    // A new network from e (null: a default one) in the first free slot; null when full.
    NetworkInfo* CreateNet(const CfgElement* e);
    // Takes net out of the configuration; the caller destroys it.
    std::unique_ptr<NetworkInfo> RemoveNet(NetworkInfo* net);
    void RemapNets();
    NetworkInfo* FindNet(int port);
    NodeInfo* FindNode(int port, int id);
    NetworkInfo* FindNet(void* extra);
    NodeInfo* FindNode(void* extra);
    // The network in slot i (null when free).
    NetworkInfo* Net(int i);

    // Calls visit with the EDS path and the dictionary of every network and node that names an
    // EDS file.
    void ForEachEDS(
        const std::function<void(const std::string& eds, CANopenObjDict*& dict)>& visit);

    // Null on success, else the message for the user. problems (may be null) gets one line
    // "path:line: what" for each thing the file says that the configuration cannot take as
    // written: a malformed file or one that is no network configuration, ports outside 0..63, node
    // ids outside 1..127, a port or id given twice, unknown keys, networks or nodes beyond the
    // limits, what the EDS files it names hold that cannot be read (a section header without its
    // "]"). The entries are loaded all the same, as the dialog shows them.
    const char* Load(const char* path, std::vector<std::string>* problems = nullptr);
    // Relative EDS paths are written relative to the folder of path (absolute when the two share
    // no folder below the root), so that the file finds them from wherever it is saved.
    const char* Save(const char* path);

    // The configured name of object key on a node, as the decoders ask for it: from the node's
    // dictionary, else its network's; false when no dictionary applies. Any thread.
    bool ObjName(int port, int id, uint32_t key, std::string* name) override;
    CANopenObjDict* Dictionary(int port, int id) override;
    // Makes the current state the one that ObjName answers from.
    void Publish();

    // Every EDS file the networks and nodes have read, for the whole life of the configuration.
    EdsList& Dictionaries() { return dictionaries; }

  private:
    struct Names;

    const char* LoadTree(const char* path, std::vector<std::string>& problems);

    EdsList dictionaries;  // first, so that it outlives the networks that point into it

    std::recursive_mutex lock;
    std::array<std::unique_ptr<NetworkInfo>, kMaxNets> nets;
    std::array<NetworkInfo*, kMaxNets> netsByPort{};
    // The folder of the file last loaded, absolute: where relative EDS paths were found when not
    // from the working folder. Guarded by `lock`.
    std::string loadedFolder;
    std::shared_ptr<const Names> names;  // read and replaced with the atomic shared_ptr functions
};
