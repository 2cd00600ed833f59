// The network status stays bounded whatever the bus sends: identifiers, nodes and transfers
// beyond what it keeps are counted, never stored, and frames that name no node make none.

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "decode/canopen_parser.h"
#include "status/network_status.h"
#include "status/status_tables.h"
#include "store/msg_store.h"

namespace {

// Frames as a session counts them: stored, scanned by the CANopen decoder, then counted.
struct Counted {
    Counted() {
        store.SetDecoder(&parser);
        store.AddTally(&status);
        status.SetDecoder(&parser);
    }
    void Add(uint32_t id, const std::vector<uint8_t>& data, int type = FRAME_DATA) {
        CANframe f;
        f.type = type;
        f.id = id;
        f.timestamp = time++;
        f.length = static_cast<int>(data.size());
        int i = 0;
        for (uint8_t b : data) f.data[i++] = b;
        store.Add(f);
    }
    // Everything but the transfers that ended.
    StatusSnapshot Snapshot() { return status.Snapshot(std::numeric_limits<uint64_t>::max()); }

    NetworkStatus status;
    MsgStore store{1 << 12};
    CANopenParser parser{&store};
    uint32_t time = 0;
};

TEST(NetworkStatusTest, IdentifiersBeyondTheKeptOnesAreCountedTogether) {
    Counted c;
    constexpr uint32_t kIds = 70000;
    for (uint32_t k = 0; k < kIds; k++) c.Add(0x20000000 | k, {1});
    c.Add(0x20000000, {2});  // a kept one still counts in its row
    c.Add(0x123, {3});       // a new 11-bit one no longer gets a row
    const StatusSnapshot s = c.Snapshot();
    EXPECT_EQ(s.ids.size(), NetworkStatus::kMaxIds);
    EXPECT_EQ(s.ids.front().frames, 2u);
    EXPECT_EQ(s.otherFrames, kIds - NetworkStatus::kMaxIds + 1);
    EXPECT_EQ(s.frames, kIds + 2);
    const StatusTable t = StatusTables(&c.parser, nullptr).Identifiers(s);
    ASSERT_EQ(t.rows.size(), NetworkStatus::kMaxIds + 1);
    EXPECT_EQ(t.rows.back().cells[1] + " " + t.rows.back().cells[2], "other 4465");
    EXPECT_EQ(t.notes.size(), 1u);
}

// Frames on node identifiers that name no node 1..127, and NMT commands to no known node.
TEST(NetworkStatusTest, FramesOfNoNodeMakeNone) {
    Counted c;
    for (uint32_t id : {0x700u, 0x780u, 0x7A5u, 0x7FFu, 0x080u, 0x580u, 0x600u}) {
        c.Add(id, {0x00});
        c.Add(id, {0x05});
        c.Add(id, {}, FRAME_RTR);
    }
    c.Add(0x000, {0x01, 0x00});  // start all known nodes: none
    c.Add(0x000, {0x81, 0x80});  // reset node 128
    const StatusSnapshot s = c.Snapshot();
    EXPECT_EQ(s.nodes.size(), 0u);
    EXPECT_EQ(s.frames, 23u);
}

TEST(NetworkStatusTest, ANodeBootingOverAndOverIsOneRecord) {
    Counted c;
    constexpr uint64_t kBoots = 100000;
    for (uint64_t k = 0; k < kBoots; k++) c.Add(0x705, {0x00});
    const StatusSnapshot s = c.Snapshot();
    ASSERT_EQ(s.nodes.size(), 1u);
    EXPECT_EQ(s.nodes[0].boots, kBoots);
    EXPECT_EQ(s.nodes[0].heartbeatPeriod.count, 0u);  // boot-up to boot-up is no period
}

// A node's first PDO within the capture's first second leaves what was counted of it alone.
TEST(NetworkStatusTest, AnEarlyPdoKeepsTheNodesCounts) {
    Counted c;
    // Node 7 maps 0x6041 into its TPDO1 by SDO, has a write aborted, then sends the PDO.
    const std::vector<uint8_t> writes[] = {{0x23, 0x00, 0x18, 0x01, 0x87, 0x01, 0x00, 0x80},
                                           {0x23, 0x00, 0x1A, 0x01, 0x10, 0x00, 0x41, 0x60},
                                           {0x2F, 0x00, 0x1A, 0x00, 0x01, 0x00, 0x00, 0x00},
                                           {0x23, 0x00, 0x18, 0x01, 0x87, 0x01, 0x00, 0x00}};
    for (const std::vector<uint8_t>& write : writes) {
        c.Add(0x607, write);
        c.Add(0x587, {0x60, write[1], write[2], write[3], 0, 0, 0, 0});
    }
    c.Add(0x607, {0x23, 0x00, 0x10, 0x00, 1, 2, 3, 4});
    c.Add(0x587, {0x80, 0x00, 0x10, 0x00, 0x02, 0x00, 0x01, 0x06});
    c.Add(0x187, {0x37, 0x02});
    const StatusSnapshot s = c.Snapshot();
    ASSERT_EQ(s.nodes.size(), 1u);
    const NodeRecord& n = s.nodes[0];
    EXPECT_EQ(n.pdoFrames, 1u);
    EXPECT_EQ(n.transfers, 5u);
    EXPECT_EQ(n.aborts, 1u);
    EXPECT_EQ(n.lastAbort, 0x06010002u);
}

// Transfers that end, in a row: the newest kMaxTransfers are kept, the older ones only counted.
TEST(NetworkStatusTest, EndedTransfersKeptAreBounded) {
    Counted c;
    constexpr uint64_t kOlder = 100;
    constexpr uint64_t kTransfers = NetworkStatus::kMaxTransfers + kOlder;
    for (uint64_t k = 0; k < kTransfers; k++) {
        const uint8_t low = static_cast<uint8_t>(k);
        c.Add(0x605, {0x2F, 0x00, 0x20, 0x00, low});
        c.Add(0x585, {0x60, 0x00, 0x20, 0x00});
    }
    const StatusSnapshot s = c.status.Snapshot(kTransfers - 1);  // only the last one
    EXPECT_EQ(s.transfersEnded, kTransfers);
    EXPECT_EQ(s.transfersFirst, kOlder);
    ASSERT_EQ(s.transfers.size(), 1u);
    EXPECT_EQ(s.transfers[0].value[0], static_cast<uint8_t>(kTransfers - 1));
    ASSERT_EQ(s.nodes.size(), 1u);
    EXPECT_EQ(s.nodes[0].transfers, kTransfers);
}

// Transfers started again and again but never ended: each new one cuts the last short, and
// each node has at most one under way.
TEST(NetworkStatusTest, TransfersThatNeverEndStayOneANode) {
    Counted c;
    constexpr int kRounds = 1000;
    for (int round = 0; round < kRounds; round++)
        for (uint32_t node = 1; node <= 127; node++) c.Add(0x600 + node, {0x40, 0x00, 0x10, 0x00});
    const StatusSnapshot s = c.status.Snapshot();
    EXPECT_EQ(s.transfers.size() - s.openFrom, 127u);
    EXPECT_EQ(s.transfersEnded, 127u * (kRounds - 1));
    for (size_t k = s.openFrom; k < s.transfers.size(); k++)
        EXPECT_EQ(s.transfers[k].result, TransferResult::kIncomplete);
}

}  // namespace
