#include "netcfg/network_config.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "base/cfg_element.h"
#include "base/utils.h"

namespace {

constexpr int kMaxPort = 63;
constexpr int kMinNodeId = 1;
constexpr int kMaxNodeId = 127;

// Checks a number key of a network or node: the problems of its value, and its first line for
// each number (a number given twice is a problem).
void CheckNumber(const std::string& path, const CfgElement& e, const char* what, int min, int max,
                 std::map<int32_t, int>& firstLine, std::vector<std::string>& problems) {
    bool ok;
    const int32_t value = StrToInt(e.value, &ok);
    if (!ok) {
        problems.push_back(
            Format("%s:%d: %s %s is not a number", path.c_str(), e.line, what, e.value.c_str()));
    } else if (value < min || value > max) {
        problems.push_back(Format("%s:%d: %s %s is not from %d to %d", path.c_str(), e.line, what,
                                  e.value.c_str(), min, max));
    } else if (auto [at, added] = firstLine.emplace(value, e.line); !added) {
        problems.push_back(Format("%s:%d: %s %d is given at line %d already", path.c_str(), e.line,
                                  what, value, at->second));
    }
}

// Where an EDS path of the configuration points, as the networks read it: absolute as written,
// else from the working folder when the file is there, else from loadedFolder (when known).
std::filesystem::path EdsLocation(const std::string& eds, const std::string& loadedFolder) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    const fs::path fromWork = fs::absolute(eds, ignored);
    if (fs::path(eds).is_absolute() || loadedFolder.empty() || fs::exists(fromWork, ignored))
        return fromWork.lexically_normal();
    return (fs::path(loadedFolder) / eds).lexically_normal();
}

// An EDS file's path as a configuration in folder names it: relative to folder, absolute when
// the two share no folder below the root.
std::string EdsPathFrom(const std::filesystem::path& eds, const std::filesystem::path& folder) {
    auto e = eds.begin(), f = folder.begin();  // the root first
    if (e == eds.end() || f == folder.end() || ++e == eds.end() || ++f == folder.end() || *e != *f)
        return eds.string();
    return eds.lexically_relative(folder).string();
}

// Rewrites the EDS paths of a configuration tree read from loadedFolder for a file in folder.
void MoveEdsPaths(CfgElement& e, const std::string& loadedFolder,
                  const std::filesystem::path& folder) {
    for (auto& child : e.children) {
        if (child->name == "eds" && child->children.empty() && !child->value.empty())
            child->value = EdsPathFrom(EdsLocation(child->value, loadedFolder), folder);
        MoveEdsPaths(*child, loadedFolder, folder);
    }
}

void UnknownKey(const std::string& path, const CfgElement& group, const CfgElement& key,
                std::vector<std::string>& problems) {
    problems.push_back(Format("%s:%d: [%s] has no key %s", path.c_str(), key.line,
                              group.name.c_str(), key.name.c_str()));
}

// What a NetCFG tree holds that the configuration cannot take as written, in file order.
std::vector<std::string> Check(const std::string& path, const CfgElement& root) {
    std::vector<std::string> problems;
    std::map<int32_t, int> ports;
    int networks = 0;
    for (const auto& net : root.children) {
        if (net->name != "Network")
            problems.push_back(Format("%s:%d: [%s] is read as a [Network]", path.c_str(), net->line,
                                      net->name.c_str()));
        if (++networks > NetworkConfig::kMaxNets) {
            problems.push_back(Format("%s:%d: more than %d networks: this one is left out",
                                      path.c_str(), net->line, NetworkConfig::kMaxNets));
            continue;
        }
        std::map<int32_t, int> ids;
        int nodes = 0;
        for (const auto& key : net->children) {
            if (key->name == "port") {
                CheckNumber(path, *key, "port", 0, kMaxPort, ports, problems);
            } else if (key->name == "Node") {
                if (++nodes > NetworkInfo::kMaxNodes) {
                    problems.push_back(
                        Format("%s:%d: more than %d nodes in a network: this one "
                               "is left out",
                               path.c_str(), key->line, NetworkInfo::kMaxNodes));
                    continue;
                }
                for (const auto& nodeKey : key->children) {
                    if (nodeKey->name == "id")
                        CheckNumber(path, *nodeKey, "node id", kMinNodeId, kMaxNodeId, ids,
                                    problems);
                    else if (nodeKey->name != "name" && nodeKey->name != "eds")
                        UnknownKey(path, *key, *nodeKey, problems);
                }
            } else if (key->name != "name" && key->name != "eds") {
                UnknownKey(path, *net, *key, problems);
            }
        }
    }
    return problems;
}

}  // namespace

// The dictionary that names the objects of each node id on each mapped port.
struct NetworkConfig::Names {
    std::array<std::array<CANopenObjDict*, NetworkInfo::kMaxNodes>, kMaxNets> dicts{};
};

NetworkConfig::NetworkConfig() : names(std::make_shared<const Names>()) {}

NetworkConfig::~NetworkConfig() = default;

bool NetworkConfig::CanAddNet() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return std::find(nets.begin(), nets.end(), nullptr) != nets.end();
}

NetworkInfo* NetworkConfig::CreateNet(const CfgElement* e) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    auto slot = std::find(nets.begin(), nets.end(), nullptr);
    if (slot == nets.end()) return nullptr;
    *slot = std::make_unique<NetworkInfo>(e, dictionaries, this);
    RemapNets();
    return slot->get();
}

std::unique_ptr<NetworkInfo> NetworkConfig::RemoveNet(NetworkInfo* net) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    std::unique_ptr<NetworkInfo> removed;
    for (auto& slot : nets)
        if (slot.get() == net) removed = std::move(slot);
    RemapNets();
    return removed;
}

void NetworkConfig::RemapNets() {
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        MapByKey(nets, netsByPort, [](const NetworkInfo& n) { return n.port; });
    }
    Publish();
}

NetworkInfo* NetworkConfig::FindNet(int port) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return port >= 0 && port < kMaxNets ? netsByPort[port] : nullptr;
}

NodeInfo* NetworkConfig::FindNode(int port, int id) {
    NetworkInfo* net = FindNet(port);
    return net && id <= 127 ? net->FindNode(id) : nullptr;
}

NetworkInfo* NetworkConfig::FindNet(void* extra) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    for (auto& net : nets)
        if (net && net->extra == extra) return net.get();
    return nullptr;
}

NodeInfo* NetworkConfig::FindNode(void* extra) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    for (auto& net : nets)
        if (net)
            if (NodeInfo* node = net->FindNode(extra)) return node;
    return nullptr;
}

NetworkInfo* NetworkConfig::Net(int i) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return i >= 0 && i < kMaxNets ? nets[i].get() : nullptr;
}

void NetworkConfig::Publish() {
    auto table = std::make_shared<Names>();
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        for (int port = 0; port < kMaxNets; port++) {
            NetworkInfo* net = netsByPort[port];
            if (!net) continue;
            for (int id = 0; id < NetworkInfo::kMaxNodes; id++) {
                NodeInfo* node = net->FindNode(id);
                table->dicts[port][id] = node && node->objDict ? node->objDict : net->objDict;
            }
        }
    }
    std::atomic_store(&names, std::shared_ptr<const Names>(std::move(table)));
}

CANopenObjDict* NetworkConfig::Dictionary(int port, int id) {
    if (port < 0 || port >= kMaxNets || id < 0 || id >= NetworkInfo::kMaxNodes) return nullptr;
    return std::atomic_load(&names)->dicts[port][id];
}

bool NetworkConfig::ObjName(int port, int id, uint32_t key, std::string* name) {
    CANopenObjDict* dict = Dictionary(port, id);
    if (!dict) return false;
    *name = dict->getInfo(key)->name;
    return true;
}

const char* NetworkConfig::Load(const char* path, std::vector<std::string>* problems) {
    std::vector<std::string> found;
    const char* error = LoadTree(path, found);
    if (problems) *problems = std::move(found);
    return error;
}

const char* NetworkConfig::LoadTree(const char* path, std::vector<std::string>& problems) {
    std::unique_ptr<CfgElement> root;
    try {
        root = CfgElement::load(path);
    } catch (const CfgFileErr& e) {
        switch (e.code) {
            case CfgFileErr::OPEN:
                return "Unable to open file";
            case CfgFileErr::FORMAT:
                problems.push_back(Format("%s:%d: %s", path, e.line, e.reason.c_str()));
                return "File format error";
            default:
                problems.push_back(Format("%s:%d: %s", path, e.line, e.reason.c_str()));
                return "Unknown error reading file";
        }
    }
    std::lock_guard<std::recursive_mutex> hold(lock);
    for (auto& net : nets) net.reset();
    RemapNets();
    std::error_code ignored;
    loadedFolder = std::filesystem::absolute(path, ignored).parent_path().string();
    // A file without any element is as wrong as one whose root has another name.
    if (!root) {
        problems.push_back(Format("%s: holds no [NetCFG]: not a network configuration", path));
        return "File format error";
    }
    if (root->name != "NetCFG") {
        problems.push_back(Format("%s:%d: [%s] in place of [NetCFG]: not a network configuration",
                                  path, root->line, root->name.c_str()));
        return "File format error";
    }
    problems = Check(path, *root);
    for (const auto& child : root->children) {
        auto slot = std::find(nets.begin(), nets.end(), nullptr);
        if (slot == nets.end()) break;
        *slot = std::make_unique<NetworkInfo>(child.get(), dictionaries, this);
        RemapNets();
    }
    // Relative EDS paths not found from the working folder are looked for from the file's folder,
    // so that a configuration works from wherever it is named; the paths stay as written.
    if (const char* folder = dirName(path)) {
        ForEachEDS([this, folder](const std::string& eds, CANopenObjDict*& dict) {
            if (!dict && eds[0] != '/') dict = dictionaries.LoadEDS(folder + eds);
        });
        Publish();
    }
    // What the EDS files read hold that cannot be taken, each file said once.
    std::set<const CANopenObjDict*> told;
    ForEachEDS([&](const std::string&, CANopenObjDict*& dict) {
        if (dict && told.insert(dict).second)
            for (const std::string& p : dict->Problems()) problems.push_back(p);
    });
    return nullptr;
}

void NetworkConfig::ForEachEDS(
    const std::function<void(const std::string& eds, CANopenObjDict*& dict)>& visit) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    for (auto& net : nets) {
        if (!net) continue;
        if (!net->eds.empty()) visit(net->eds, net->objDict);
        for (int i = 0; i < NetworkInfo::kMaxNodes; i++)
            if (NodeInfo* node = net->Node(i); node && !node->eds.empty())
                visit(node->eds, node->objDict);
    }
}

const char* NetworkConfig::Save(const char* path) {
    CfgElement root("NetCFG");
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        for (auto& net : nets)
            if (net) root.addChild(net->toCfg());
        // Written from the file's folder, so that the file finds its EDS files wherever it is.
        std::error_code ignored;
        MoveEdsPaths(root, loadedFolder,
                     std::filesystem::absolute(path, ignored).parent_path().lexically_normal());
    }
    switch (root.save(path)) {
        case 0:
            return nullptr;
        case CfgElement::BAD_TEXT:
            return "A name or file name holds a line break";
        case CfgElement::OPEN_FAILED:
            return "Unable to create configuration file";
        default:
            return "Unknown error code returned from write";
    }
}
