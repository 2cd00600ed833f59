// Readers add CANopen frames while the test thread, as the status window does, takes snapshots of
// the network status and writes its tables: no data race (run under TSan), every snapshot whole
// (its frames are those of its identifier rows, and as many as were added by then), counts that
// never go back, and at the end every frame counted once.

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "decode/canopen_parser.h"
#include "status/network_status.h"
#include "status/status_tables.h"
#include "store/msg_store.h"

namespace {

constexpr int kSources = 4;
constexpr int kBatches = 200;
constexpr int kBatchFrames = 5;

// Source s's batch b, for node s + 1: a heartbeat, an SDO download and its confirmation, a PDO,
// and a 29-bit identifier of its own.
std::vector<CANframe> Batch(int s, int b) {
    const uint32_t node = static_cast<uint32_t>(s + 1);
    const std::pair<uint32_t, std::vector<uint8_t>> made[kBatchFrames] = {
        {0x700 + node, {0x05}},
        {0x600 + node,
         {0x2B, 0x17, 0x10, 0x00, static_cast<uint8_t>(b), static_cast<uint8_t>(b >> 8), 0, 0}},
        {0x580 + node, {0x60, 0x17, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {0x180 + node, {static_cast<uint8_t>(b)}},
        {0x20000000u | node << 16 | static_cast<uint32_t>(b), {1, 2}}};
    std::vector<CANframe> frames(kBatchFrames);
    for (int k = 0; k < kBatchFrames; k++) {
        frames[k].id = made[k].first;
        frames[k].length = static_cast<int>(made[k].second.size());
        std::copy(made[k].second.begin(), made[k].second.end(), frames[k].data);
        frames[k].timestamp = static_cast<uint32_t>((b * kBatchFrames + k) * 1000);
    }
    return frames;
}

// Lockstep without sleeping: each source adds its batch b once the test thread has taken b + 1
// snapshots, and the test thread takes the next one once some batch was added since its last, so
// snapshots meet additions under way whatever the scheduler does. `lock` guards every field.
struct Pace {
    std::mutex lock;
    std::condition_variable changed;
    int snapshots = 0;
    uint64_t started = 0;  // frames handed to the store
    uint64_t added = 0;    // frames the store has taken
    int ended = 0;         // sources done
};

TEST(NetworkStatusConcurrencyTest, SnapshotsWhileReadersAdd) {
    NetworkStatus status;
    MsgStore store(1000);  // wraps: the status keeps what the ring forgets
    CANopenParser parser(&store);
    store.SetDecoder(&parser);
    store.AddTally(&status);
    status.SetDecoder(&parser);
    Pace pace;

    std::vector<std::thread> sources;
    for (int s = 0; s < kSources; s++)
        sources.emplace_back([&, s] {
            for (int b = 0; b < kBatches; b++) {
                const std::vector<CANframe> frames = Batch(s, b);
                {
                    std::unique_lock<std::mutex> hold(pace.lock);
                    pace.changed.wait(hold, [&] { return pace.snapshots > b; });
                    pace.started += kBatchFrames;
                }
                store.Add(frames.data(), kBatchFrames);
                std::lock_guard<std::mutex> hold(pace.lock);
                pace.added += kBatchFrames;
                pace.changed.notify_all();
            }
            std::lock_guard<std::mutex> hold(pace.lock);
            pace.ended++;
            pace.changed.notify_all();
        });

    StatusTables tables(&parser, nullptr);
    StatusSnapshot last;
    int snapshots = 0, wrong = 0;
    for (bool done = false; !done;) {
        uint64_t before;
        {
            std::lock_guard<std::mutex> hold(pace.lock);
            before = pace.added;
        }
        StatusSnapshot s = status.Snapshot();
        {
            std::unique_lock<std::mutex> hold(pace.lock);
            wrong += s.frames < before || s.frames > pace.started;
            pace.snapshots++;
            pace.changed.notify_all();
            const uint64_t seen = pace.added;
            pace.changed.wait(hold, [&] { return pace.added != seen || pace.ended == kSources; });
            done = pace.ended == kSources && pace.added == seen;
        }
        uint64_t idFrames = s.otherFrames;
        for (const IdRecord& id : s.ids) idFrames += id.frames;
        std::map<int, uint64_t> listed;  // ended transfers by node
        for (size_t k = 0; k < s.openFrom; k++) listed[s.transfers[k].node]++;
        for (const NodeRecord& node : s.nodes) {
            wrong += listed[node.node] != node.transfers;
            for (const NodeRecord& before : last.nodes)
                wrong += before.node == node.node &&
                         (node.heartbeats < before.heartbeats || node.transfers < before.transfers);
        }
        wrong += idFrames != s.frames || s.frames < last.frames ||
                 s.transfersEnded < last.transfersEnded || s.ids.size() < last.ids.size();
        wrong += tables.Nodes(s).rows.size() != s.nodes.size() ||
                 tables.Identifiers(s).rows.size() != s.ids.size() ||
                 tables.Transfers(s.transfers, s.openFrom, 0).rows.size() != s.transfers.size();
        last = std::move(s);
        snapshots++;
    }
    for (std::thread& t : sources) t.join();

    EXPECT_EQ(wrong, 0);
    EXPECT_GE(snapshots, kBatches);
    const StatusSnapshot s = status.Snapshot();
    EXPECT_EQ(s.frames, uint64_t{kSources} * kBatches * kBatchFrames);
    EXPECT_EQ(s.ids.size(), size_t{kSources} * (4 + kBatches));
    for (const IdRecord& id : s.ids)
        EXPECT_EQ(id.frames, id.key & 0x20000000 ? 1u : uint64_t{kBatches}) << id.key;
    ASSERT_EQ(s.nodes.size(), size_t{kSources});
    for (const NodeRecord& node : s.nodes) {
        EXPECT_EQ(node.heartbeats, uint64_t{kBatches});
        EXPECT_EQ(node.transfers, uint64_t{kBatches});
        EXPECT_EQ(node.configuredPeriod, kBatches - 1);  // the last 0x1017 written
    }
    EXPECT_EQ(s.transfersEnded, uint64_t{kSources} * kBatches);
    EXPECT_EQ(s.openFrom, s.transfers.size());
}

}  // namespace
