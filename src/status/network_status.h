#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "status/measures.h"
#include "status/transfer_follower.h"
#include "store/can_frame.h"
#include "store/frame_tally.h"

class CANopenParser;

// A node's NMT state, as its boot-up, heartbeats, guarding responses and the NMT commands to it
// last told.
enum class NmtState : uint8_t { kUnknown, kInitialising, kPreOperational, kOperational, kStopped };

// What was counted of one identifier of one port (all error frames of a port share one).
struct IdRecord {
    uint32_t key = 0;  // the frame identifier (bit 29 for 29-bit ones), or kErrorFrames
    uint8_t port = 0;
    bool pdoTransmit = false;  // the PDO it carries is sent by pdoNode
    int16_t pdoNode = -1;      // the node of the PDO it carries, -1 for none
    uint32_t pdoStamp = 0;     // the decoder's stamp pdoNode was looked up for
    uint64_t frames = 0;
    StoreIndex lastIndex = -1;  // store index of the last frame
    PeriodStats period;
    RateWindow rate;
    // When each data byte last changed, in milliseconds modulo 2^32 (enough to tell the last
    // second, in half the room), never 0, which stands for never.
    std::array<uint32_t, 8> changed{};
    static uint32_t ChangeTime(int64_t time) {
        const uint32_t ms = static_cast<uint32_t>(time / 1000);
        return ms ? ms : 1;
    }
    std::array<uint8_t, 8> lastData{};  // of the last data frame, what the next is compared with
    int8_t lastDataLength = -1;         // -1: no data frame yet
    CANframe last;                      // the last frame
};

// The SYNC of one port, beyond what its identifier's record counts.
struct SyncRecord {
    uint8_t port = 0;
    int configuredPeriod = -1;  // microseconds, as last written to 0x1006 by SDO; -1 for none
    int lastCounter = -1;       // -1: the last SYNC had no counter
    uint64_t counterSkips = 0;  // counters that followed neither the one before nor a wrap
    // Wraps back to 1: all of them, and those from the highest value seen (its overflow value as
    // far as is known). The others are skips too.
    int highest = 0;
    uint64_t wraps = 0;
    uint64_t wrapsFromHighest = 0;
    uint64_t Skips() const { return counterSkips + wraps - wrapsFromHighest; }
};

// What was counted of one node of one port. Nodes are kept for IDs 1..127.
struct NodeRecord {
    uint8_t port = 0;
    uint8_t node = 0;
    NmtState state = NmtState::kUnknown;
    bool wasOperational = false;  // it was operational at some time since counting began
    int64_t lastHeard = -1;       // microseconds; -1: never heard from
    int64_t lastHeartbeat = -1;   // the last heartbeat or boot-up
    uint64_t heartbeats = 0;
    uint64_t boots = 0;
    PeriodStats heartbeatPeriod;
    int configuredPeriod = -1;  // milliseconds, as last written to 0x1017 by SDO; -1 for none
    bool guardAsked = false;    // the last frame on its error-control identifier was a request
    int expectedToggle = -1;    // the guarding toggle bit its next response should carry, -1 any
    uint64_t toggleErrors = 0;
    uint64_t emergencies = 0;
    uint16_t emcyCode = 0;
    uint8_t emcyRegister = 0;
    bool emcyActive = false;  // the last emergency was not 0x0000
    uint64_t transfers = 0;
    uint64_t aborts = 0;
    uint32_t lastAbort = 0;
    uint64_t pdoFrames = 0;
    RateWindow pdoRate;
    TransferFollower follower;
};

// Everything counted, copied at one moment (NetworkStatus::Snapshot).
struct StatusSnapshot {
    int64_t now = 0;                // the newest time stamp counted, microseconds
    uint64_t frames = 0;            // frames counted (comments are not)
    std::vector<NodeRecord> nodes;  // by port, then node
    std::vector<IdRecord> ids;      // by port, then key
    uint64_t otherFrames = 0;       // of identifiers beyond the kept ones
    std::vector<SyncRecord> syncs;  // ports that sent SYNC
    // Transfers that ended, from the sequence number asked for on (at most the kept ones), then
    // the ones under way.
    std::vector<TransferRecord> transfers;
    size_t openFrom = 0;          // transfers[openFrom..] are under way
    uint64_t transfersEnded = 0;  // sequence number of the next transfer to end
    uint64_t transfersFirst = 0;  // sequence number of the oldest one kept
};

// The network status: counts every frame handed to it, as a message store's tally, into the
// tables of nodes, identifiers, SYNC and SDO transfers. O(1) per frame; bounded: kMaxIds
// identifiers (those beyond are counted together), nodes 1..127 of each port, kMaxTransfers
// ended transfers (older ones are counted only).
//
// Threads: frames are counted on the thread adding them; Snapshot on any. `lock` guards every
// field; a run (RunStarts to RunEnds) holds it throughout. It is the innermost lock: nothing is
// called with it held.
class NetworkStatus : public FrameTally {
  public:
    static constexpr size_t kMaxIds = 65536;
    static constexpr size_t kMaxTransfers = 1000000;
    static constexpr uint32_t kErrorFrames = 0xFFFFFFFF;  // the key of a port's error frames

    NetworkStatus() = default;
    NetworkStatus(const NetworkStatus&) = delete;
    NetworkStatus& operator=(const NetworkStatus&) = delete;

    // The decoder whose scan marked the frames: with a CANopen decoder the nodes, SYNC and
    // transfers are counted too, and PDO frames by their nodes; null (raw decoding) counts only
    // identifiers. Restarts the counts.
    void SetDecoder(CANopenParser* decoder);

    void RunStarts() override;
    void Count(StoreIndex index, const CANframe& frame) override;
    void RunEnds() override;
    void Restart() override;

    // A copy of everything counted, with the transfers that ended from sequence number
    // transfersFrom on (so that a window that keeps what it had asks only for the new ones).
    StatusSnapshot Snapshot(uint64_t transfersFrom = 0);

  private:
    IdRecord* Identifier(const CANframe& frame);
    NodeRecord* Node(int port, int node);
    void CountCANopen(StoreIndex index, const CANframe& frame, IdRecord* id);
    void Heard(NodeRecord& node, int64_t time);
    void ErrorControl(NodeRecord& node, const CANframe& frame);
    void NmtCommand(const CANframe& frame);
    void Sync(const CANframe& frame);
    void Transfer(StoreIndex index, const CANframe& frame, NodeRecord& node);
    void Ended(NodeRecord& node, const TransferRecord& record);
    void Pdo(const CANframe& frame, IdRecord& id);
    void Clear();

    std::mutex lock;
    CANopenParser* decoder = nullptr;
    int64_t now = 0;
    uint64_t frames = 0;
    std::vector<IdRecord> ids;
    // Where each identifier's record is: 11-bit ones by a table per port, others by map.
    std::array<std::unique_ptr<std::array<int32_t, 2048>>, 256> standardIds;
    std::unordered_map<uint64_t, int32_t> otherKeys;
    uint64_t otherFrames = 0;
    std::vector<std::unique_ptr<NodeRecord>> nodes;  // port * 128 + node, created on first use
    std::array<std::unique_ptr<SyncRecord>, 256> syncs;
    std::deque<TransferRecord> transfers;  // the newest kMaxTransfers that ended
    uint64_t transfersEnded = 0;
};
