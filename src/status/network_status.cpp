#include "status/network_status.h"

#include <algorithm>

#include "base/utils.h"
#include "decode/canopen_parser.h"
#include "decode/cob_ids.h"
#include "decode/nmt_codes.h"
#include "decode/pdo_routes.h"

namespace {

constexpr uint32_t kHeartbeatObject = 0x10170000;
constexpr uint32_t kSyncPeriodObject = 0x10060000;
constexpr size_t kPorts = 256;
constexpr size_t kNodeSlots = 128;

// NMT commands, and the error-control state byte.
NmtState FromStateByte(uint8_t b) {
    switch (b) {
        case kNmtBootUp:
            return NmtState::kInitialising;
        case kNmtStopped:
            return NmtState::kStopped;
        case kNmtOperational:
            return NmtState::kOperational;
        case kNmtPreOperational:
            return NmtState::kPreOperational;
        default:
            return NmtState::kUnknown;
    }
}

void SetState(NodeRecord& node, NmtState state) {
    node.state = state;
    if (state == NmtState::kOperational) node.wasOperational = true;
}

}  // namespace

void NetworkStatus::SetDecoder(CANopenParser* replacement) {
    std::lock_guard<std::mutex> hold(lock);
    decoder = replacement;
    Clear();
}

void NetworkStatus::RunStarts() {
    lock.lock();
}

void NetworkStatus::RunEnds() {
    lock.unlock();
}

void NetworkStatus::Restart() {
    std::lock_guard<std::mutex> hold(lock);
    Clear();
}

void NetworkStatus::Clear() {
    now = 0;
    frames = 0;
    ids.clear();
    for (auto& table : standardIds) table.reset();
    otherKeys.clear();
    otherFrames = 0;
    nodes.clear();
    for (auto& sync : syncs) sync.reset();
    transfers.clear();
    transfersEnded = 0;
}

IdRecord* NetworkStatus::Identifier(const CANframe& frame) {
    const uint32_t key = frame.type == FRAME_ERROR ? kErrorFrames : frame.MarkedId();
    int32_t* at;
    if (key < 0x800) {
        auto& table = standardIds[frame.port];
        if (!table) {
            table = std::make_unique<std::array<int32_t, 2048>>();
            table->fill(-1);
        }
        at = &(*table)[key];
    } else {
        const uint64_t wide = static_cast<uint64_t>(frame.port) << 32 | key;
        auto found = otherKeys.find(wide);
        if (found == otherKeys.end()) {
            if (ids.size() >= kMaxIds) return nullptr;
            found = otherKeys.emplace(wide, -1).first;
        }
        at = &found->second;
    }
    if (*at < 0) {
        if (ids.size() >= kMaxIds) return nullptr;
        *at = static_cast<int32_t>(ids.size());
        ids.emplace_back();
        ids.back().key = key;
        ids.back().port = frame.port;
    }
    return &ids[static_cast<size_t>(*at)];
}

NodeRecord* NetworkStatus::Node(int port, int node) {
    if (port < 0 || port >= static_cast<int>(kPorts) || node < 1 || node > 127) return nullptr;
    if (nodes.empty()) nodes.resize(kPorts * kNodeSlots);
    auto& slot = nodes[static_cast<size_t>(port) * kNodeSlots + static_cast<size_t>(node)];
    if (!slot) {
        slot = std::make_unique<NodeRecord>();
        slot->port = static_cast<uint8_t>(port);
        slot->node = static_cast<uint8_t>(node);
    }
    return slot.get();
}

void NetworkStatus::Count(StoreIndex index, const CANframe& frame) {
    if (frame.type == FRAME_TEXT) return;
    frames++;
    const int64_t time = frame.timestamp;
    now = std::max(now, time);
    IdRecord* id = Identifier(frame);
    if (id) {
        if (id->frames) id->period.Add(time - id->last.timestamp);
        id->frames++;
        id->rate.Add(time);
        id->lastIndex = index;
        // A byte changed when it differs from the data frame before (or that was shorter); an
        // identifier's first data frame changes nothing, remote requests between count not.
        if (frame.type == FRAME_DATA) {
            const int length = std::min<int>(std::max<int>(frame.length, 0), 8);
            for (int i = 0; id->lastDataLength >= 0 && i < length; i++)
                if (i >= id->lastDataLength ||
                    frame.data[i] != id->lastData[static_cast<size_t>(i)])
                    id->changed[static_cast<size_t>(i)] = IdRecord::ChangeTime(time);
            std::copy(frame.data, frame.data + length, id->lastData.begin());
            id->lastDataLength = static_cast<int8_t>(length);
        }
        id->last = frame;
    } else {
        otherFrames++;
    }
    if (decoder && frame.type != FRAME_ERROR) CountCANopen(index, frame, id);
}

void NetworkStatus::Heard(NodeRecord& node, int64_t time) {
    node.lastHeard = std::max(node.lastHeard, time);
}

void NetworkStatus::CountCANopen(StoreIndex index, const CANframe& frame, IdRecord* id) {
    const bool data = frame.type == FRAME_DATA;
    if (frame.id == CobId::kNmt) {
        if (data) NmtCommand(frame);
        return;
    }
    if (frame.id == CobId::kSync) {
        if (data) Sync(frame);
        return;
    }
    if (PdoRoutes::IsStamped(frame)) {
        if (id) Pdo(frame, *id);
        return;
    }
    const uint32_t function = frame.id & CobId::kFunctionMask;
    const int nodeId = CobId::Node(frame.id);
    if (nodeId == 0) return;
    if (function == CobId::kErrorControl) {
        if (NodeRecord* node = Node(frame.port, nodeId)) ErrorControl(*node, frame);
    } else if (function == CobId::kEmcy && data && frame.length >= 2) {
        NodeRecord* node = Node(frame.port, nodeId);
        if (!node) return;
        Heard(*node, frame.timestamp);
        node->emergencies++;
        node->emcyCode = Build16(frame.data);
        node->emcyRegister = frame.length >= 3 ? frame.data[2] : 0;
        node->emcyActive = node->emcyCode != 0;
    } else if ((function == CobId::kSdoServer || function == CobId::kSdoClient) && data) {
        NodeRecord* node = Node(frame.port, nodeId);
        if (!node) return;
        if (function == CobId::kSdoServer) Heard(*node, frame.timestamp);
        Transfer(index, frame, *node);
    }
}

void NetworkStatus::ErrorControl(NodeRecord& node, const CANframe& frame) {
    if (frame.type == FRAME_RTR) {
        node.guardAsked = true;
        return;
    }
    if (frame.type != FRAME_DATA || frame.length < 1) return;
    const int64_t time = frame.timestamp;
    const uint8_t b = frame.data[0];
    Heard(node, time);
    if (node.guardAsked) {
        // A guarding response: its toggle bit alternates, starting from 0 after a boot-up.
        node.guardAsked = false;
        const int toggle = (b & kNmtToggle) ? 1 : 0;
        if (node.expectedToggle >= 0 && toggle != node.expectedToggle) node.toggleErrors++;
        node.expectedToggle = 1 - toggle;
        SetState(node, FromStateByte(b & ~kNmtToggle));
    } else if (b == kNmtBootUp) {
        // A node that booted is pre-operational; the time to its first heartbeat is a period.
        node.boots++;
        node.lastHeartbeat = time;
        node.expectedToggle = 0;
        SetState(node, NmtState::kPreOperational);
    } else {
        if (node.lastHeartbeat >= 0) node.heartbeatPeriod.Add(time - node.lastHeartbeat);
        node.lastHeartbeat = time;
        node.heartbeats++;
        SetState(node, FromStateByte(b));
    }
}

void NetworkStatus::NmtCommand(const CANframe& frame) {
    if (frame.length < 2) return;
    NmtState state;
    switch (frame.data[0]) {
        case kNmtStart:
            state = NmtState::kOperational;
            break;
        case kNmtStop:
            state = NmtState::kStopped;
            break;
        case kNmtEnterPreOperational:
            state = NmtState::kPreOperational;
            break;
        case kNmtResetNode:
        case kNmtResetCommunication:
            state = NmtState::kInitialising;
            break;
        default:
            return;
    }
    const bool reset = state == NmtState::kInitialising;
    auto apply = [&](NodeRecord& node) {
        SetState(node, state);
        if (reset) node.expectedToggle = 0;
    };
    const int target = frame.data[1];
    if (target != 0) {
        if (NodeRecord* node = Node(frame.port, target)) apply(*node);
        return;
    }
    if (nodes.empty()) return;
    for (size_t n = 1; n < kNodeSlots; n++)
        if (auto& node = nodes[frame.port * kNodeSlots + n]) apply(*node);
}

void NetworkStatus::Sync(const CANframe& frame) {
    auto& slot = syncs[frame.port];
    if (!slot) {
        slot = std::make_unique<SyncRecord>();
        slot->port = frame.port;
    }
    SyncRecord& sync = *slot;
    if (frame.length < 1) {
        sync.lastCounter = -1;
        return;
    }
    const int counter = frame.data[0];
    if (counter > sync.highest) {
        // Wraps back to 1 from below the highest value are skips after all.
        sync.highest = counter;
        sync.wrapsFromHighest = 0;
    }
    if (sync.lastCounter >= 0 && counter != sync.lastCounter + 1) {
        if (counter == 1 && sync.lastCounter >= 2) {
            sync.wraps++;
            if (sync.lastCounter == sync.highest) sync.wrapsFromHighest++;
        } else {
            sync.counterSkips++;
        }
    }
    sync.lastCounter = counter;
}

void NetworkStatus::Transfer(StoreIndex index, const CANframe& frame, NodeRecord& node) {
    TransferRecord done;
    if (node.follower.Follow(index, frame, done)) Ended(node, done);
}

void NetworkStatus::Ended(NodeRecord& node, const TransferRecord& record) {
    node.transfers++;
    if (record.result == TransferResult::kAborted) {
        node.aborts++;
        node.lastAbort = record.abortCode;
    }
    if (record.result == TransferResult::kOk) {
        if (record.object == kHeartbeatObject && record.size >= 2)
            node.configuredPeriod = Build16(record.value.data());
        if (record.object == kSyncPeriodObject && record.size >= 4) {
            auto& sync = syncs[record.port];
            if (!sync) {
                sync = std::make_unique<SyncRecord>();
                sync->port = record.port;
            }
            sync->configuredPeriod = static_cast<int>(Build32(record.value.data()));
        }
    }
    if (transfers.size() == kMaxTransfers) transfers.pop_front();
    transfers.push_back(record);
    transfersEnded++;
}

void NetworkStatus::Pdo(const CANframe& frame, IdRecord& id) {
    if (id.pdoStamp != frame.scanInfo) {
        // Looked up once per identifier and mapping version, not per frame.
        id.pdoStamp = frame.scanInfo;
        id.pdoNode = -1;
        std::shared_ptr<const PdoTable> table;
        if (const PdoRoute* route = decoder->StampedRoute(frame, table)) {
            id.pdoNode = static_cast<int16_t>(route->node);
            id.pdoTransmit = route->dir == PdoDir::kTransmit;
        }
    }
    NodeRecord* node = id.pdoNode > 0 ? Node(frame.port, id.pdoNode) : nullptr;
    if (!node) return;
    node->pdoFrames++;
    node->pdoRate.Add(frame.timestamp);
    if (id.pdoTransmit) Heard(*node, frame.timestamp);
}

StatusSnapshot NetworkStatus::Snapshot(uint64_t transfersFrom) {
    StatusSnapshot s;
    std::lock_guard<std::mutex> hold(lock);
    s.now = now;
    s.frames = frames;
    for (const auto& node : nodes)
        if (node) s.nodes.push_back(*node);
    s.ids = ids;
    std::sort(s.ids.begin(), s.ids.end(), [](const IdRecord& a, const IdRecord& b) {
        return a.port != b.port ? a.port < b.port : a.key < b.key;
    });
    s.otherFrames = otherFrames;
    for (const auto& sync : syncs)
        if (sync) s.syncs.push_back(*sync);
    s.transfersEnded = transfersEnded;
    s.transfersFirst = transfersEnded - transfers.size();
    const uint64_t from = std::max(transfersFrom, s.transfersFirst);
    if (from < transfersEnded)
        s.transfers.assign(transfers.begin() + static_cast<std::ptrdiff_t>(from - s.transfersFirst),
                           transfers.end());
    s.openFrom = s.transfers.size();
    for (const auto& node : s.nodes)
        if (node.follower.Open()) s.transfers.push_back(node.follower.Current());
    return s;
}

// The bounds the tables keep to, whatever the traffic.
static_assert(sizeof(IdRecord) <= 256, "an identifier's record is at most 256 bytes");
static_assert(sizeof(NodeRecord) <= 1024, "a node's record is at most 1 KiB");
static_assert(sizeof(TransferRecord) <= 104, "a kept transfer is at most 104 bytes");
