#include "status/status_tables.h"

#include <algorithm>
#include <map>

#include "base/utils.h"
#include "decode/canopen_parser.h"
#include "decode/cob_ids.h"
#include "decode/data_types.h"
#include "decode/obj_dict.h"
#include "decode/sdo_abort_codes.h"
#include "decode/value_text.h"
#include "netcfg/network_config.h"

namespace {

using Kind = StatusTable::Kind;

constexpr uint32_t kHeartbeatObject = 0x10170000;
constexpr uint32_t kSyncPeriodObject = 0x10060000;
constexpr uint32_t kDeviceNameObject = 0x10080000;
// A heartbeat is late after this many periods: configured ones, else the mean measured.
constexpr double kLateConfigured = 1.5;
constexpr double kLateMeasured = 3.0;
constexpr double kJitterAllowed = 0.10;  // of the period

std::string Seconds(int64_t us) {
    return Format("%.6f", static_cast<double>(us) / 1e6);
}
std::string Seconds(double us) {
    return Format("%.6f", us / 1e6);
}
std::string Number(uint64_t n) {
    return Format("%llu", static_cast<unsigned long long>(n));
}
std::string Flag(bool b) {
    return b ? "yes" : "no";
}
std::string Tidy(std::string s) {
    // Cells are one line of a tab-separated table.
    std::replace_if(
        s.begin(), s.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return s;
}

std::string IdText(const IdRecord& id) {
    if (id.key == NetworkStatus::kErrorFrames) return "error";
    if (id.key & kExtendedMark) return Format("0x%08X", id.key & ~kExtendedMark);
    return Format("0x%03X", id.key);
}

// The node an identifier belongs to: the node of the PDO it carries, else by the predefined
// connection set (emergency, PDOs, SDO, error control); -1 for none.
int NodeOf(const IdRecord& id) {
    if (id.pdoNode > 0) return id.pdoNode;
    if (id.key >= 0x800 || CobId::Node(id.key) == 0) return -1;
    const uint32_t function = CobId::Function(id.key);
    return function >= CobId::kEmcy && function <= CobId::kErrorControl ? CobId::Node(id.key) : -1;
}

void AddPeriod(std::vector<std::string>& cells, const PeriodStats& p) {
    if (p.count == 0) {
        cells.insert(cells.end(), 4, "");
        return;
    }
    cells.push_back(Seconds(p.Mean()));
    cells.push_back(Seconds(p.min));
    cells.push_back(Seconds(p.max));
    cells.push_back(Seconds(p.Jitter()));
}

}  // namespace

const char* NmtStateName(NmtState state) {
    switch (state) {
        case NmtState::kInitialising:
            return "initialising";
        case NmtState::kPreOperational:
            return "pre-operational";
        case NmtState::kOperational:
            return "operational";
        case NmtState::kStopped:
            return "stopped";
        default:
            return "unknown";
    }
}

const char* HealthName(Health health) {
    switch (health) {
        case Health::kWarning:
            return "warning";
        case Health::kFault:
            return "fault";
        default:
            return "ok";
    }
}

StatusTables::StatusTables(Parser* decoder, NetworkConfig* config)
    : decoder(decoder), canopen(dynamic_cast<CANopenParser*>(decoder)), config(config) {}

std::string StatusTables::Name(int port, int node) {
    if (config)
        if (NodeInfo* info = config->FindNode(port, node))
            if (!info->name.empty()) return info->name;
    if (config)
        if (CANopenObjDict* dict = config->Dictionary(port, node))
            if (const ObjInfo* info = dict->Find(kDeviceNameObject))
                if (!info->defaultValue.empty()) return info->defaultValue;
    return "";
}

int StatusTables::ConfiguredPeriod(const NodeRecord& node, const char** source) {
    *source = "";
    if (node.configuredPeriod >= 0) {
        *source = "SDO";
        return node.configuredPeriod;  // 0: the heartbeat switched off
    }
    CANopenObjDict* dict = config ? config->Dictionary(node.port, node.node) : nullptr;
    const ObjInfo* info = dict ? dict->Find(kHeartbeatObject) : nullptr;
    uint64_t value;
    if (info && info->PowerOnValue(node.node, &value) && value > 0 && value <= 0xFFFF) {
        *source = "dictionary";
        return static_cast<int>(value);
    }
    return -1;
}

int64_t StatusTables::SyncPeriod(const SyncRecord& sync) {
    if (sync.configuredPeriod >= 0) return sync.configuredPeriod;
    if (!config) return 0;
    // The SYNC producer's: the network's dictionary, else the first configured node that has one.
    for (int node = 0; node <= 127; node++) {
        if (node > 0 && !config->FindNode(sync.port, node)) continue;
        CANopenObjDict* dict = config->Dictionary(sync.port, node);
        const ObjInfo* info = dict ? dict->Find(kSyncPeriodObject) : nullptr;
        uint64_t value;
        if (info && info->PowerOnValue(node, &value) && value > 0)
            return static_cast<int64_t>(value);
    }
    return 0;
}

std::string StatusTables::Description(const CANframe& frame) {
    if (!decoder) return "";
    CANframe copy = frame;
    return Tidy(decoder->GetShortDesc(copy));
}

StatusTable StatusTables::Nodes(const StatusSnapshot& s) {
    StatusTable t;
    t.columns = {{"port", Kind::kNumber},
                 {"node", Kind::kNumber},
                 {"name", Kind::kText},
                 {"state", Kind::kText},
                 {"last_heard", Kind::kNumber},
                 {"since_heard", Kind::kNumber},
                 {"heartbeats", Kind::kNumber},
                 {"period_mean", Kind::kNumber},
                 {"period_min", Kind::kNumber},
                 {"period_max", Kind::kNumber},
                 {"jitter", Kind::kNumber},
                 {"period_configured", Kind::kNumber},
                 {"period_source", Kind::kText},
                 {"boots", Kind::kNumber},
                 {"toggle_errors", Kind::kNumber},
                 {"emcy_count", Kind::kNumber},
                 {"emcy_code", Kind::kText},
                 {"emcy_text", Kind::kText},
                 {"emcy_active", Kind::kFlag},
                 {"sdo_transfers", Kind::kNumber},
                 {"sdo_aborts", Kind::kNumber},
                 {"sdo_last_abort", Kind::kText},
                 {"pdo_rate", Kind::kNumber},
                 {"health", Kind::kText},
                 {"reason", Kind::kText}};
    // The nodes counted, and the configured ones never heard from.
    std::map<std::pair<int, int>, const NodeRecord*> rows;
    for (const NodeRecord& node : s.nodes) rows[{node.port, node.node}] = &node;
    std::vector<NodeRecord> unheard;
    if (config) {
        for (int n = 0; n < NetworkConfig::kMaxNets; n++) {
            NetworkInfo* net = config->Net(n);
            if (!net) continue;
            for (int i = 0; i < NetworkInfo::kMaxNodes; i++) {
                NodeInfo* info = net->Node(i);
                if (!info || info->id < 1 || info->id > 127 || net->port < 0 || net->port > 255)
                    continue;
                if (rows.count({net->port, info->id})) continue;
                unheard.emplace_back();
                unheard.back().port = static_cast<uint8_t>(net->port);
                unheard.back().node = static_cast<uint8_t>(info->id);
            }
        }
    }
    for (const NodeRecord& node : unheard) rows[{node.port, node.node}] = &node;

    for (const auto& entry : rows) {
        const NodeRecord& n = *entry.second;
        StatusTable::Row row;
        row.port = n.port;
        row.node = n.node;
        auto& c = row.cells;
        c.push_back(Number(n.port));
        c.push_back(Number(n.node));
        c.push_back(Tidy(Name(n.port, n.node)));
        c.push_back(NmtStateName(n.state));
        c.push_back(n.lastHeard >= 0 ? Seconds(n.lastHeard) : "");
        c.push_back(n.lastHeard >= 0 ? Seconds(s.now - n.lastHeard) : "");
        c.push_back(Number(n.heartbeats));
        AddPeriod(c, n.heartbeatPeriod);
        const char* source;
        const int configured = ConfiguredPeriod(n, &source);
        c.push_back(configured >= 0 ? Seconds(configured * int64_t{1000}) : "");
        c.push_back(source);
        c.push_back(Number(n.boots));
        c.push_back(Number(n.toggleErrors));
        c.push_back(Number(n.emergencies));
        c.push_back(n.emergencies ? Format("0x%04X", n.emcyCode) : "");
        CANopenNode* node = canopen ? canopen->findNode(n.port, n.node) : nullptr;
        c.push_back(n.emergencies && node ? Tidy(node->getEmcyCode(n.emcyCode, n.emcyRegister))
                                          : "");
        c.push_back(Flag(n.emcyActive));
        c.push_back(Number(n.transfers));
        c.push_back(Number(n.aborts));
        c.push_back(n.aborts ? Format("0x%08X", n.lastAbort) + SdoAbortText(n.lastAbort) : "");
        c.push_back(Number(n.pdoRate.LastSecond(s.now)));

        // Red: late or missing heartbeat, an active emergency, out of operational; yellow:
        // jitter, a toggle error, or a node configured or commanded that never spoke.
        std::vector<std::string> faults, warnings;
        // A heartbeat switched off by SDO (0) is never late.
        const double period = configured > 0 ? configured * 1000.0 : n.heartbeatPeriod.Mean();
        const double late = configured > 0 ? kLateConfigured : kLateMeasured;
        if (configured != 0 && period > 0 && (configured > 0 || n.heartbeatPeriod.count > 0)) {
            const int64_t since = s.now - std::max<int64_t>(n.lastHeartbeat, 0);
            if (static_cast<double>(since) > late * period)
                faults.push_back(n.lastHeartbeat < 0 ? "no heartbeat" : "heartbeat late");
        }
        if (n.emcyActive) faults.push_back("emergency active");
        if (n.wasOperational && n.state != NmtState::kOperational)
            faults.push_back("left operational");
        if (period > 0 && n.heartbeatPeriod.count >= 2 &&
            n.heartbeatPeriod.Jitter() > kJitterAllowed * period)
            warnings.push_back("heartbeat jitter");
        if (n.toggleErrors) warnings.push_back("toggle error");
        if (n.lastHeard < 0) warnings.push_back("never heard");
        row.health = !faults.empty()     ? Health::kFault
                     : !warnings.empty() ? Health::kWarning
                                         : Health::kOk;
        faults.insert(faults.end(), warnings.begin(), warnings.end());
        std::string reason;
        for (const std::string& f : faults) reason += (reason.empty() ? "" : ", ") + f;
        c.push_back(HealthName(row.health));
        c.push_back(reason);
        t.rows.push_back(std::move(row));
    }
    return t;
}

StatusTable StatusTables::Identifiers(const StatusSnapshot& s) {
    StatusTable t;
    t.columns = {{"port", Kind::kNumber},
                 {"id", Kind::kText},
                 {"frames", Kind::kNumber},
                 {"rate", Kind::kNumber},
                 {"period_mean", Kind::kNumber},
                 {"period_min", Kind::kNumber},
                 {"period_max", Kind::kNumber},
                 {"jitter", Kind::kNumber},
                 {"length", Kind::kNumber},
                 {"data", Kind::kText},
                 {"changed", Kind::kText},
                 {"description", Kind::kText},
                 {"expected_period", Kind::kNumber},
                 {"counter_skips", Kind::kNumber}};
    std::map<int, const SyncRecord*> syncs;
    for (const SyncRecord& sync : s.syncs) syncs[sync.port] = &sync;
    for (const IdRecord& id : s.ids) {
        StatusTable::Row row;
        row.port = id.port;
        row.node = NodeOf(id);
        row.frame = id.lastIndex;
        auto& c = row.cells;
        c.push_back(Number(id.port));
        c.push_back(IdText(id));
        c.push_back(Number(id.frames));
        c.push_back(Number(id.rate.LastSecond(s.now)));
        AddPeriod(c, id.period);
        const CANframe& last = id.last;
        c.push_back(Number(static_cast<uint64_t>(std::max(0, static_cast<int>(last.length)))));
        std::string data, changed;
        if (last.type == FRAME_RTR) {
            data = "RTR";
        } else {
            const int n = std::min(std::max(0, static_cast<int>(last.length)), 8);
            data = HexBytes(last.data, static_cast<size_t>(n));
            for (int i = 0; i < n; i++) {
                const uint32_t when = id.changed[static_cast<size_t>(i)];
                if (when == 0 || IdRecord::ChangeTime(s.now) - when >= 1000) continue;
                row.changed |= static_cast<uint8_t>(1u << i);
                changed += (changed.empty() ? "" : ",") + std::to_string(i);
            }
        }
        c.push_back(data);
        c.push_back(changed);
        c.push_back(Description(last));
        auto sync = syncs.find(id.port);
        if (canopen && id.key == CobId::kSync && sync != syncs.end()) {
            const int64_t expected = SyncPeriod(*sync->second);
            c.push_back(expected > 0 ? Seconds(expected) : "");
            c.push_back(Number(sync->second->Skips()));
            if (expected > 0 && id.period.count >= 2 &&
                id.period.Jitter() > kJitterAllowed * static_cast<double>(expected))
                row.health = Health::kWarning;
            if (sync->second->Skips()) row.health = Health::kWarning;
        } else {
            c.insert(c.end(), 2, "");
        }
        t.rows.push_back(std::move(row));
    }
    if (s.otherFrames) {
        StatusTable::Row row;
        row.cells.assign(t.columns.size(), "");
        row.cells[1] = "other";
        row.cells[2] = Number(s.otherFrames);
        t.rows.push_back(std::move(row));
        t.notes.push_back(
            Format("Identifiers beyond the first %zu are counted in the \"other\" row",
                   NetworkStatus::kMaxIds));
    }
    return t;
}

StatusTable StatusTables::Transfers(const std::vector<TransferRecord>& transfers, size_t openFrom,
                                    uint64_t dropped) {
    StatusTable t;
    t.columns = {{"start", Kind::kNumber}, {"duration", Kind::kNumber}, {"port", Kind::kNumber},
                 {"node", Kind::kNumber},  {"direction", Kind::kText},  {"protocol", Kind::kText},
                 {"index", Kind::kText},   {"sub", Kind::kText},        {"object", Kind::kText},
                 {"size", Kind::kNumber},  {"value", Kind::kText},      {"result", Kind::kText},
                 {"crc", Kind::kText},     {"frame", Kind::kNumber}};
    static const char* const kProtocols[] = {"expedited", "segmented", "block"};
    // In the order they started.
    std::vector<size_t> order(transfers.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return transfers[a].firstFrame < transfers[b].firstFrame;
    });
    for (size_t i : order) {
        const TransferRecord& r = transfers[i];
        const bool open = i >= openFrom;
        StatusTable::Row row;
        row.port = r.port;
        row.node = r.node;
        row.frame = r.firstFrame;
        auto& c = row.cells;
        c.push_back(Seconds(r.start));
        c.push_back(Seconds(static_cast<int64_t>(r.duration)));
        c.push_back(Number(r.port));
        c.push_back(Number(r.node));
        c.push_back(r.upload ? "upload" : "download");
        c.push_back(kProtocols[static_cast<int>(r.protocol)]);
        c.push_back(Format("0x%04X", r.object >> 16));
        c.push_back(Format("0x%02X", r.object & 0xFF));
        CANopenNode* node = canopen ? canopen->findNode(r.port, r.node) : nullptr;
        c.push_back(node ? Tidy(node->GetObjName(r.object)) : "");
        c.push_back(Number(r.size));
        std::string value;
        if (r.result == TransferResult::kOk || r.size > 0) {
            const size_t kept = std::min<size_t>(r.size, TransferRecord::kValueBytes);
            CANopenObjDict* dict = node ? node->Dictionary() : nullptr;
            const ObjInfo* info = dict ? dict->Find(r.object) : nullptr;
            DecodedValue v;
            ReadBytesValue(r.value.data(), kept, r.size,
                           info ? FindDataType(info->dataType) : nullptr, v);
            value = LongText(v) + (r.size > kept ? " ..." : "");
        }
        c.push_back(Tidy(value));
        if (open || r.result == TransferResult::kIncomplete) {
            c.push_back("incomplete");
            row.health = Health::kWarning;
        } else if (r.result == TransferResult::kAborted) {
            c.push_back(Format("0x%08X", r.abortCode) + SdoAbortText(r.abortCode));
            row.health = Health::kFault;
        } else {
            c.push_back("OK");
        }
        c.push_back(r.crc == BlockCrc::kGood ? "ok" : r.crc == BlockCrc::kBad ? "bad" : "");
        if (r.crc == BlockCrc::kBad) row.health = Health::kFault;
        c.push_back(Number(static_cast<uint64_t>(r.firstFrame)));
        t.rows.push_back(std::move(row));
    }
    if (dropped)
        t.notes.push_back(Format("%llu older transfers are counted but no longer listed",
                                 static_cast<unsigned long long>(dropped)));
    return t;
}
