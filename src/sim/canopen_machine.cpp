#include "sim/canopen_machine.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "base/cfg_element.h"
#include "base/quillon_error.h"
#include "base/utils.h"
#include "sim/eds_values.h"
#include "sim/sim_pdo.h"

namespace {

constexpr uint32_t kIdentityKey = 0x10180000;
// Between the writes of a node's configuration.
constexpr uint32_t kConfigGapUs = 2000;
// A target the master sends by RPDO moves this far each SYNC, and turns after this many SYNCs:
// short strokes, so that the follower's lag and its rounded turns show beside the target.
constexpr int32_t kTargetStep = 200;
constexpr uint32_t kTargetStroke = 50;

// The dictionary of a node described without an EDS file.
const char kMinimalEds[] =
    "[1000]\nDataType=0x0007\nAccessType=ro\nDefaultValue=0\n"
    "[1001]\nDataType=0x0005\nAccessType=ro\nDefaultValue=0\n"
    "[1008]\nDataType=0x0009\nAccessType=const\nDefaultValue=Simulated node\n"
    "[1017]\nDataType=0x0006\nAccessType=rw\nDefaultValue=0\n"
    "[1018sub0]\nDataType=0x0005\nAccessType=ro\nDefaultValue=4\n"
    "[1018sub1]\nDataType=0x0007\nAccessType=ro\nDefaultValue=0\n"
    "[1018sub2]\nDataType=0x0007\nAccessType=ro\nDefaultValue=0\n"
    "[1018sub3]\nDataType=0x0007\nAccessType=ro\nDefaultValue=0\n"
    "[1018sub4]\nDataType=0x0007\nAccessType=ro\nDefaultValue=0\n";

// Emergencies the nodes raise: error code and error register (CiA 301 table 21 and 47).
struct EmcyKind {
    uint16_t code;
    uint8_t reg;
};
const EmcyKind kEmergencies[] = {
    {0x2310, 0x03},  // continuous over-current
    {0x3210, 0x05},  // DC link over-voltage
    {0x4210, 0x09},  // excess temperature, device
    {0x6100, 0x01},  // internal software
    {0x8110, 0x11},  // CAN overrun, objects lost
    {0x8120, 0x11},  // CAN in error passive mode
};

bool Is(const CfgElement& e, const char* name) {
    return strcasecmp(e.name.c_str(), name) == 0;
}

uint32_t Number(const CfgElement& e, uint32_t lo, uint32_t hi) {
    bool ok = false;
    const int32_t value = StrToInt(e.value, &ok);
    if (!ok || e.value.empty() || value < 0 || static_cast<uint32_t>(value) < lo ||
        static_cast<uint32_t>(value) > hi)
        throw QuillonError(12, Format("%s: %s is not a number from %u to %u", e.name.c_str(),
                                      e.value.c_str(), lo, hi));
    return static_cast<uint32_t>(value);
}

// "6064" or "6000sub1" as index << 16 | sub-index; key names the description key it is from.
uint32_t ObjectKey(const std::string& text, const char* key) {
    unsigned index = 0, sub = 0;
    char rest = 0;
    const int got = std::sscanf(text.c_str(), "%4x%c%*[uUbB]%x", &index, &rest, &sub);
    if (text.size() >= 4 && (got == 1 || (got == 3 && (rest == 's' || rest == 'S'))))
        return index << 16 | (sub & 0xFF);
    throw QuillonError(12, Format("%s: %s is not an object (6064 or 6000sub1)", key, text.c_str()));
}

std::vector<uint32_t> Mapping(const std::string& list, const SimNodeSetup& node) {
    std::vector<uint32_t> keys;
    size_t bytes = 0;
    std::string text = list;
    for (char& c : text)
        if (c == ',') c = ' ';
    char* save = nullptr;
    for (char* word = strtok_r(text.data(), " \t", &save); word;
         word = strtok_r(nullptr, " \t", &save)) {
        const uint32_t key = ObjectKey(word, "TPDO");
        auto it = node.objects.find(key);
        if (it == node.objects.end())
            throw QuillonError(
                12, Format("TPDO: object %s is not in the dictionary of node %d", word, node.id));
        bytes += it->second.bytes.size();
        keys.push_back(key);
    }
    if (keys.empty() || bytes > 8)
        throw QuillonError(12, Format("TPDO: %s maps %zu bytes, 1 to 8 fit", list.c_str(), bytes));
    return keys;
}

// "607A,6064": the target the master sends by RPDO and the object that follows it.
void ReadTarget(const std::string& text, SimNodeSetup& node) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos)
        throw QuillonError(12, "Target: " + text + " is not a target, a comma and its follower");
    std::string target = text.substr(0, comma), follower = text.substr(comma + 1);
    TrimString(target);
    TrimString(follower);
    node.target = ObjectKey(target, "Target");
    node.follower = ObjectKey(follower, "Target");
    for (uint32_t key : {node.target, node.follower}) {
        auto it = node.objects.find(key);
        if (it == node.objects.end() || it->second.VariableSize())
            throw QuillonError(12, Format("Target: object %04X sub %u is no number in the "
                                          "dictionary of node %d",
                                          key >> 16, key & 0xFF, node.id));
    }
    for (const SimPdo& pdo : SimPdo::InForce(node.objects, PdoDir::kReceive))
        for (uint32_t entry : pdo.entries)
            if (MappedObject(entry) == node.target) return;
    throw QuillonError(12, Format("Target: object %04X sub %u is in no RPDO of node %d",
                                  node.target >> 16, node.target & 0xFF, node.id));
}

SimNodeSetup ReadNode(const CfgElement& block, const std::string& baseDir, SimRandom& random) {
    SimNodeSetup node;
    std::string eds;
    std::vector<std::string> tpdos, remaps;
    std::string target;
    for (const auto& child : block.children) {
        const CfgElement& e = *child;
        if (Is(e, "Id")) {
            node.id = static_cast<int>(Number(e, 1, 127));
        } else if (Is(e, "EDS")) {
            eds = e.value;
        } else if (Is(e, "Heartbeat_ms")) {
            node.heartbeatMs = Number(e, 0, 65535);
        } else if (Is(e, "Guard_ms")) {
            node.guardMs = Number(e, 0, 65535);
        } else if (Is(e, "TPDO")) {
            tpdos.push_back(e.value);
        } else if (Is(e, "Remap_TPDO")) {
            remaps.push_back(e.value);
        } else if (Is(e, "Target")) {
            target = e.value;
        } else if (Is(e, "LSS")) {
            if (strcasecmp(e.value.c_str(), "selective") == 0)
                node.lss = 1;
            else if (strcasecmp(e.value.c_str(), "global") == 0)
                node.lss = 2;
            else
                throw QuillonError(12, "LSS: " + e.value + " is neither selective nor global");
        } else {
            throw QuillonError(12, "Unknown key in [Node]: " + e.name);
        }
    }
    if (node.id == 0) throw QuillonError(12, "[Node] without Id");
    if (node.heartbeatMs && node.guardMs)
        throw QuillonError(
            12, Format("Node %d: Heartbeat_ms and Guard_ms exclude each other", node.id));
    if (eds.empty()) {
        node.objects = EdsValues::Parse(kMinimalEds, node.id);
    } else {
        const std::string path = eds[0] == '/' || baseDir.empty() ? eds : baseDir + "/" + eds;
        node.objects = EdsValues::Load(path, node.id);
    }
    // Each device its own serial number, as LSS needs to tell them apart.
    ObjValue serial;
    serial.dataType = 0x07;
    serial.bytes.assign(4, 0);
    if (!node.objects.count(kIdentityKey | 4)) node.objects[kIdentityKey | 4] = serial;
    ObjValue& own = node.objects[kIdentityKey | 4];
    if (own.Number() == 0) own.SetNumber(random.Range(100000, 999999));
    for (int field = 1; field <= 3; ++field)
        if (!node.objects.count(kIdentityKey | field))
            node.objects[kIdentityKey | field] = ObjValue{0x07, false, {0, 0, 0, 0}};
    for (const std::string& list : tpdos) node.tpdos.push_back(Mapping(list, node));
    if (node.tpdos.size() > 4) throw QuillonError(12, "TPDO: at most four per node");
    for (const std::string& remap : remaps) {
        // "2:606C,6078": TPDO 2 maps these objects once the master has configured it.
        const size_t colon = remap.find(':');
        bool ok = false;
        const int32_t num = StrToInt(remap.substr(0, colon), &ok);
        if (colon == std::string::npos || !ok || num < 1 || num > 4)
            throw QuillonError(
                12, "Remap_TPDO: " + remap + " is not a TPDO from 1 to 4, a colon and objects");
        node.remaps.emplace_back(num, Mapping(remap.substr(colon + 1), node));
    }
    if (!target.empty()) ReadTarget(target, node);
    return node;
}

}  // namespace

std::unique_ptr<SimSource> CreateCanopenMachine(const CfgElement& block,
                                                const std::string& baseDir) {
    CanopenMasterSetup setup;
    std::vector<const CfgElement*> nodeBlocks;
    for (const auto& child : block.children) {
        const CfgElement& e = *child;
        if (Is(e, "Node")) {
            nodeBlocks.push_back(&e);
        } else if (Is(e, "Seed")) {
            setup.seed = Number(e, 0, 0x7FFFFFFF);
        } else if (Is(e, "Sync_us")) {
            setup.syncUs = Number(e, 0, 10000000);
            if (setup.syncUs != 0 && setup.syncUs < 1000)
                throw QuillonError(12, "Sync_us: " + e.value + " is below 1000");
        } else if (Is(e, "SDO_ms")) {
            setup.sdoMs = Number(e, 0, 3600000);
        } else if (Is(e, "NMT_ms")) {
            setup.nmtMs = Number(e, 0, 3600000);
        } else if (Is(e, "EMCY_ms")) {
            setup.emcyMs = Number(e, 0, 3600000);
        } else if (Is(e, "LSS_ms")) {
            setup.lssMs = Number(e, 0, 3600000);
        } else {
            throw QuillonError(12, "Unknown key in [" + block.name + "]: " + e.name);
        }
    }
    if (nodeBlocks.empty()) throw QuillonError(12, "[" + block.name + "] without [Node]");
    SimRandom random(setup.seed);
    std::vector<SimNodeSetup> nodes;
    for (const CfgElement* e : nodeBlocks) {
        SimNodeSetup node = ReadNode(*e, baseDir, random);
        for (const SimNodeSetup& other : nodes)
            if (other.id == node.id)
                throw QuillonError(12, Format("Id: node %d is described twice", node.id));
        nodes.push_back(std::move(node));
    }
    return std::make_unique<CanopenMachine>(setup, std::move(nodes));
}

CanopenMachine::CanopenMachine(CanopenMasterSetup masterSetup, std::vector<SimNodeSetup> setups)
    : setup(masterSetup), random(masterSetup.seed) {
    for (SimNodeSetup& node : setups)
        nodes.push_back(std::make_unique<CanopenSimNode>(std::move(node), random.Next()));
    for (auto& node : nodes)
        if (node->Target()) commanded.push_back({node.get(), node->Objects(), kTargetStep, 0});
    guardAt.assign(128, 0);
    guarding.assign(128, false);
}

uint32_t CanopenMachine::Jitter(uint32_t ms) {
    return random.Range(ms * 750, ms * 1250);
}

CanopenSimNode* CanopenMachine::FindNode(int id) {
    for (auto& node : nodes)
        if (node->Id() == id) return node.get();
    return nullptr;
}

std::vector<CanopenSimNode*> CanopenMachine::AliveNodes() {
    std::vector<CanopenSimNode*> alive;
    for (auto& node : nodes)
        if (node->Alive()) alive.push_back(node.get());
    return alive;
}

void CanopenMachine::Start(uint32_t now) {
    started = true;
    for (auto& node : nodes) node->PowerOn(now);
    resetPending = startPending = true;
    resetAt = now + 300000;
    startAt = now + 800000;
    nextSync = now + setup.syncUs;
    nextNmt = startAt + Jitter(setup.nmtMs);
    restoreNode = 0;
    nextSdo = now + 1000000;
    nextEmcy = now + Jitter(setup.emcyMs);
    emcyNode = 0;
    for (auto& node : nodes)
        if (node->LssNode()) lssQueue.push_back(node.get());
    lssAt = now + setup.lssMs * 1000;
}

uint32_t CanopenMachine::Poll(uint32_t now, std::vector<CANframe>& out) {
    if (!started) return now + 1000000;
    MasterTick(now);
    for (auto& node : nodes) node->Tick(now, queue);
    queue.TakeDue(now, out);

    uint32_t next = queue.Next(now, 1000000);
    auto earlier = [&next](uint32_t t) {
        if (static_cast<int32_t>(t - next) < 0) next = t;
    };
    for (auto& node : nodes) earlier(node->Next(now, 1000000));
    if (resetPending) earlier(resetAt);
    if (startPending) earlier(startAt);
    if (setup.syncUs) earlier(nextSync);
    if (setup.nmtMs) earlier(restoreNode ? restoreAt : nextNmt);
    for (int id = 1; id < 128; ++id)
        if (guarding[id]) earlier(guardAt[id]);
    if (setup.sdoMs || !configuring.empty()) earlier(client.Busy() ? sdoDeadline : nextSdo);
    if (setup.emcyMs) earlier(emcyNode ? clearAt : nextEmcy);
    if (!lssQueue.empty() || lssActive) earlier(lssActive && lssWaiting ? lssDeadline : lssAt);
    // Events already due (waiting for the SDO client, say) are looked at again soon.
    if (TimeReached(next, now)) next = now + 1000;
    return next;
}

void CanopenMachine::MasterTick(uint32_t now) {
    if (resetPending && TimeReached(resetAt, now)) {
        resetPending = false;
        Nmt(resetAt, 0x82, 0);
    }
    if (startPending && TimeReached(startAt, now)) {
        startPending = false;
        Nmt(startAt, 0x01, 0);
    }
    while (setup.syncUs && TimeReached(nextSync, now)) {
        queue.Send(nextSync, 0x80, nullptr, 0);
        SendRpdos(nextSync);
        nextSync += setup.syncUs;
        if (TimeReached(nextSync, now)) nextSync = now + setup.syncUs;
    }
    for (int id = 1; id < 128; ++id) {
        CanopenSimNode* node = guarding[id] ? FindNode(id) : nullptr;
        if (!node || !TimeReached(guardAt[id], now)) continue;
        queue.SendRemote(guardAt[id], 0x700u + static_cast<uint32_t>(id), 1);
        guardAt[id] += node->GuardMs() * 1000;
        if (TimeReached(guardAt[id], now)) guardAt[id] = now + node->GuardMs() * 1000;
    }
    if (setup.nmtMs) NextNmt(now);
    if (setup.sdoMs || !configuring.empty()) NextSdo(now);
    if (setup.emcyMs) NextEmcy(now);
    if (lssActive && lssWaiting && TimeReached(lssDeadline, now)) {
        lssActive = false;  // nobody answered: the assignment is given up
        lssAt = now + 1000000;
    }
    if (!lssActive && !lssQueue.empty() && TimeReached(lssAt, now)) BeginLss(now);
    if (lssActive && !lssWaiting && TimeReached(lssAt, now)) {
        const std::vector<uint8_t>& data = lssSteps[lssStep].data;
        queue.Send(lssAt, 0x7E5, data.data(), static_cast<int>(data.size()));
        lssWaiting = true;
        lssDeadline = lssAt + 500000;
    }
}

void CanopenMachine::SendRpdos(uint32_t at) {
    for (Commanded& c : commanded) {
        if (!c.node->Operational()) continue;
        if (++c.syncs % kTargetStroke == 0) c.step = -c.step;
        ObjValue& target = c.values.at(c.node->Target());
        target.SetNumber(target.Number() + static_cast<uint64_t>(c.step));
        // Due with the SYNC, they follow it on the bus, as their identifiers are higher.
        for (const SimPdo& pdo : SimPdo::InForce(c.node->Objects(), PdoDir::kReceive)) {
            uint8_t data[8];
            int length = 0;
            if (pdo.Pack(c.values, data, &length)) queue.Send(at, pdo.id, data, length);
        }
    }
}

void CanopenMachine::NextNmt(uint32_t now) {
    if (restoreNode) {
        if (!TimeReached(restoreAt, now)) return;
        Nmt(restoreAt, 0x01, restoreNode);
        restoreNode = 0;
        nextNmt = now + Jitter(setup.nmtMs);
        return;
    }
    if (!TimeReached(nextNmt, now) || client.Busy() || lssActive) return;
    std::vector<CanopenSimNode*> alive = AliveNodes();
    if (alive.empty()) {
        nextNmt = now + Jitter(setup.nmtMs);
        return;
    }
    static const uint8_t kCommands[] = {0x02, 0x80, 0x81, 0x82};
    const int id = alive[random.Range(0, static_cast<uint32_t>(alive.size() - 1))]->Id();
    Nmt(now, kCommands[nmtStep++ % 4], id);
    restoreNode = id;
    restoreAt = now + 1000000;
}

void CanopenMachine::NextSdo(uint32_t now) {
    std::vector<SdoPayload> frames;
    if (client.Busy()) {
        if (!TimeReached(sdoDeadline, now)) return;
        client.Abort(kAbortTimeout, frames);
        for (const SdoPayload& f : frames) queue.Send(now, 0x600u + sdoNode, f.data(), 8);
        nextSdo = now + setup.sdoMs * 1000;
        return;
    }
    if (!TimeReached(nextSdo, now)) return;
    while (!configuring.empty()) {
        ConfigWrite write = configuring.front();
        configuring.pop_front();
        CanopenSimNode* node = FindNode(write.node);
        if (!node || !node->Alive()) continue;
        sdoNode = write.node;
        client.Begin(SdoTransfer::kExpeditedDownload, write.key, write.bytes, frames);
        for (const SdoPayload& f : frames) queue.Send(now, 0x600u + sdoNode, f.data(), 8);
        sdoDeadline = now + 1000000;
        return;
    }
    if (!setup.sdoMs) return;
    std::vector<CanopenSimNode*> alive = AliveNodes();
    if (alive.empty() || (restoreNode && alive.size() == 1)) {
        nextSdo = now + setup.sdoMs * 1000;
        return;
    }
    // The transfers in turn: expedited and segmented upload, expedited and segmented download,
    // block upload and download.
    static const SdoTransfer kCycle[] = {SdoTransfer::kUpload,      SdoTransfer::kExpeditedDownload,
                                         SdoTransfer::kUpload,      SdoTransfer::kSegmentedDownload,
                                         SdoTransfer::kBlockUpload, SdoTransfer::kBlockDownload};
    const int step = sdoStep++ % 6;
    const SdoTransfer transfer = kCycle[step];
    const bool download = transfer == SdoTransfer::kExpeditedDownload ||
                          transfer == SdoTransfer::kSegmentedDownload ||
                          transfer == SdoTransfer::kBlockDownload;
    const bool small = step < 2;
    const size_t first = random.Range(0, static_cast<uint32_t>(alive.size() - 1));
    for (size_t i = 0; i < alive.size(); ++i) {
        CanopenSimNode* node = alive[(first + i) % alive.size()];
        if (node->Id() == restoreNode) continue;
        // Objects that suit the transfer; long values first for the segmented and block ones.
        std::vector<uint32_t> fitting, preferred;
        for (const auto& [key, value] : node->Objects()) {
            const size_t size = value.bytes.size();
            if (download && !value.writable) continue;
            if (small ? size < 1 || size > 4 : size < 1) continue;
            fitting.push_back(key);
            if (!small && size > 4) preferred.push_back(key);
        }
        const std::vector<uint32_t>& keys = preferred.empty() ? fitting : preferred;
        if (keys.empty()) continue;
        const uint32_t key = keys[random.Range(0, static_cast<uint32_t>(keys.size() - 1))];
        ObjValue value = node->Objects().at(key);
        // Configuration (below 0x2000) is written back as it is; process values change.
        if (download && key >= 0x20000000 && !value.VariableSize())
            value.SetNumber(value.Number() + 1);
        sdoNode = node->Id();
        client.Begin(transfer, key, download ? value.bytes : std::vector<uint8_t>{}, frames);
        for (const SdoPayload& f : frames) queue.Send(now, 0x600u + sdoNode, f.data(), 8);
        sdoDeadline = now + 1000000;
        return;
    }
    nextSdo = now + setup.sdoMs * 1000;
}

void CanopenMachine::NextEmcy(uint32_t now) {
    if (emcyNode) {
        if (!TimeReached(clearAt, now)) return;
        CanopenSimNode* node = FindNode(emcyNode);
        if (node && node->Alive()) node->Emergency(0, 0, now, queue);
        emcyNode = 0;
        nextEmcy = now + Jitter(setup.emcyMs);
        return;
    }
    if (!TimeReached(nextEmcy, now)) return;
    std::vector<CanopenSimNode*> alive = AliveNodes();
    if (alive.empty()) {
        nextEmcy = now + Jitter(setup.emcyMs);
        return;
    }
    CanopenSimNode* node = alive[random.Range(0, static_cast<uint32_t>(alive.size() - 1))];
    const EmcyKind& kind =
        kEmergencies[random.Range(0, sizeof kEmergencies / sizeof kEmergencies[0] - 1)];
    node->Emergency(kind.code, kind.reg, now, queue);
    emcyNode = node->Id();
    clearAt = now + random.Range(500000, 2000000);
}

void CanopenMachine::BeginLss(uint32_t now) {
    CanopenSimNode* node = lssQueue.front();
    lssQueue.erase(lssQueue.begin());
    lssSteps.clear();
    if (node->LssGlobal()) {
        lssSteps.push_back({{0x04, 0x01, 0, 0, 0, 0, 0, 0}, false});
    } else {
        for (int field = 0; field < 4; ++field) {
            auto it = node->Objects().find(kIdentityKey | static_cast<uint32_t>(field + 1));
            const uint32_t value =
                it == node->Objects().end() ? 0 : static_cast<uint32_t>(it->second.Number());
            lssSteps.push_back(
                {{static_cast<uint8_t>(0x40 + field), static_cast<uint8_t>(value),
                  static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                  static_cast<uint8_t>(value >> 24), 0, 0, 0},
                 field == 3});
        }
    }
    lssAssigned = node->AssignedId();
    lssSteps.push_back({{0x11, static_cast<uint8_t>(lssAssigned), 0, 0, 0, 0, 0, 0}, true});
    lssSteps.push_back({{0x17, 0, 0, 0, 0, 0, 0, 0}, true});
    lssSteps.push_back({{0x04, 0x00, 0, 0, 0, 0, 0, 0}, false});
    lssStep = 0;
    lssActive = true;
    lssWaiting = false;
    lssAt = now;
}

void CanopenMachine::Seen(const CANframe& frame, uint32_t at) {
    if (!started) return;
    const uint32_t id = frame.id;
    if (frame.type == FRAME_DATA && id > 0x700 && id < 0x780 && frame.length >= 1 &&
        frame.data[0] == 0) {
        // A boot-up: guarding begins, and a node that got its node-ID by LSS is started.
        const int node = static_cast<int>(id - 0x700);
        CanopenSimNode* booted = FindNode(node);
        if (booted) {
            // As masters do: the node's PDOs configured in pre-operational, before anything else.
            configuring.erase(
                std::remove_if(configuring.begin(), configuring.end(),
                               [node](const ConfigWrite& w) { return w.node == node; }),
                configuring.end());
            for (const auto& [num, mapped] : booted->Remaps())
                for (auto& [key, bytes] : booted->RemapWrites(num, mapped))
                    configuring.push_back({node, key, std::move(bytes)});
        }
        if (booted && booted->Guarded() && !guarding[node]) {
            guarding[node] = true;
            guardAt[node] = at + booted->GuardMs() * 1000;
        }
        if (node == lssStartNode) {
            Nmt(at + 20000, 0x01, node);
            lssStartNode = 0;
        }
    } else if (frame.type == FRAME_DATA && client.Busy() &&
               id == 0x580u + static_cast<uint32_t>(sdoNode)) {
        SdoPayload response{};
        std::copy_n(frame.data, std::clamp<int>(frame.length, 0, 8), response.begin());
        std::vector<SdoPayload> frames;
        const SdoClient::Result result = client.Response(response, frames);
        const uint32_t due = at + random.Range(100, 300);
        for (const SdoPayload& f : frames)
            queue.Send(due, 0x600u + static_cast<uint32_t>(sdoNode), f.data(), 8);
        if (result != SdoClient::Result::kBusy)
            nextSdo = at + (configuring.empty() ? setup.sdoMs * 1000 : kConfigGapUs);
        else
            sdoDeadline = at + 1000000;
    } else if (frame.type == FRAME_DATA && lssActive && lssWaiting &&
               (id == 0x7E4 || (id == 0x7E5 && !lssSteps[lssStep].answered))) {
        lssWaiting = false;
        lssAt = at + 2000;
        if (++lssStep == lssSteps.size()) {
            lssActive = false;
            lssStartNode = lssAssigned;
            lssAt = at + 1000000;
        }
    }
    for (auto& node : nodes) node->Seen(frame, at, queue);
}
