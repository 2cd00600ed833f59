#include "decode/canopen_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/utils.h"
#include "decode/decode_helpers.h"
#include "decode/emcy_codes.h"
#include "decode/lss_tables.h"
#include "decode/sdo_abort_codes.h"
#include "store/msg_store.h"

// What frames decode to, and how the scan links them (scanInfo, txPrev), is checked by the golden
// cases of quillon-dump (tests/tools/data); here what no log holds and what the output hides.
namespace {

// A frame with the given bytes; length defaults to their number.
CANframe Frame(uint32_t id, const std::vector<uint8_t>& bytes, int length = -100,
               int type = FRAME_DATA, uint8_t port = 0) {
    CANframe f;
    f.id = id;
    f.type = type;
    f.port = port;
    std::copy(bytes.begin(), bytes.end(), f.data);
    f.length = length == -100 ? static_cast<int>(bytes.size()) : length;
    return f;
}

// A message store scanned by the CANopen decoder, which reads the store back when decoding.
struct ScannedStore {
    ScannedStore() { store.SetDecoder(&parser); }
    StoreIndex Add(const CANframe& f) {
        store.Add(f);
        return store.GetLast();
    }
    CANframe At(StoreIndex index) {
        CANframe f;
        store.Get(index, f);
        return f;
    }
    // The store indexes of the exchange that frame index belongs to.
    std::vector<StoreIndex> Exchange(StoreIndex index) {
        Array<StoreIndex> list;
        store.GetTxList(index, list);
        std::vector<StoreIndex> v;
        for (uint32_t i = 0; i < list.Count(); i++) v.push_back(list[i]);
        return v;
    }

    MsgStore store{100};
    CANopenParser parser{&store};
};

// Frames that no log file holds: lengths outside 0..8, an error frame with counters beyond its
// length, an empty text, an unknown type.
TEST(ParserTest, FramesNoLogHolds) {
    Parser raw;
    for (int bad : {9, 15, -1, -16})
        EXPECT_EQ(Decode(raw, Frame(0x7FF, {}, bad)),
                  (Lines{Format("ERROR: CAN frame with %d bytes of data", bad), "3",
                         "-1 1 0 CAN message ID (standard 11-bit ID): 0x7ff",
                         Format("0 %d 0 Message contains %d bytes of data", bad, bad)}));
    EXPECT_EQ(Decode(raw, Frame(0x40, {7}, 0, FRAME_ERROR)),
              (Lines{"CAN  error.  Error counters - Tx: 7, Rx: 0", "3",
                     "-1 1 0 CAN error type mask", "  -1 1 0 0x00000040 - Unknown error bits"}));
    CANframe text, odd;
    text.SetText(nullptr);
    EXPECT_EQ(Decode(raw, text), (Lines{"Empty comment line", "0"}));
    odd.type = -3;
    EXPECT_EQ(Decode(raw, odd), (Lines{"Unknown frame type: -3", "3"}));

    CANopenParser canopen;
    EXPECT_EQ(Decode(canopen, Frame(0, {}, -3)),
              (Lines{"NMT - with missing data!", "3", "-1 1 0 CANopen Network Management message",
                     "0 -3 2 Not enough data.  Should contain two bytes"}));
    // A length beyond 8 reads nothing past the payload; the extra-data line says what it says.
    const Lines nmt = Decode(canopen, Frame(0, {0x01, 0x03}, 15));
    EXPECT_EQ(nmt[0], "NMT: Start Remote Node - node 3");
    EXPECT_EQ(nmt.back(), "2 13 1 Unexpected extra data. (only two bytes expected)");
}

TEST(ParsedMessageTest, DropsLinesBeyondTheTable) {
    ParsedMessage m(CANframe{});
    m.addSubFrag("before any line", 0);  // dropped
    EXPECT_EQ(m.numLines, 1);
    m.addFrag("a much longer first line", 5);  // level masked to 2 bits
    EXPECT_EQ(m.getFrag(0, 0)->level, 1u);
    for (int i = 0; i < 25; i++) m.addSubFrag(2, 3, "sub", 2);
    m.addSubFrag(std::string(40, 's'), 0);
    EXPECT_EQ(m.maxSubFragLen, 3);  // the long one came after column 19
    for (int i = 1; i < 60; i++) m.addFrag(i, "x", 0);
    EXPECT_TRUE(m.getFrag(0, 19) && !m.getFrag(0, 20) && m.getFrag(49, 0) && !m.getFrag(50, 0) &&
                !m.getFrag(-1, 0) && !m.getFrag(0, -1));
    EXPECT_EQ(m.numLines, 1 + 1 + 26 + 59);
    EXPECT_EQ(m.maxFragLen, 24);  // never decreases
}

// Whether rows are strictly ascending by key: the decoders look codes up by binary search.
template <typename Row, typename Key>
bool Ascending(const Row* rows, size_t n, Key Row::*key) {
    auto out = [&](const Row& a, const Row& b) { return a.*key >= b.*key; };
    return std::adjacent_find(rows, rows + n, out) == rows + n;
}

TEST(CanopenParserTest, TablesAreSortedAndNodesUseTheirOwn) {
    EXPECT_TRUE(Ascending(stdEmcyCodes, kNumStdEmcyCodes, &EmcyCode::code));
    EXPECT_TRUE(Ascending(sdoAbortCodes, kNumSdoAbortCodes, &SdoAbortCode::code));
    EXPECT_TRUE(Ascending(lssCmd, kLssCmdRows, &LssRow::specifier));
    EXPECT_TRUE(Ascending(lssResp, kLssRespRows, &LssRow::specifier));
    CANopenNode node(0, 5);
    node.numEmcyCodes = 0;
    EXPECT_EQ(node.getEmcyCode(0x1000, 0), "Unknown emergency code");
}

TEST(CanopenParserTest, NetworksAndNodes) {
    CANopenParser p;
    EXPECT_EQ(p.findNet(3, false), nullptr);
    const std::pair<int, int> outside[] = {{64, 1}, {-1, 1}, {3, 0}, {3, 128}};
    for (auto [port, id] : outside) EXPECT_EQ(p.findNode(port, id), nullptr) << port << "/" << id;
    ASSERT_NE(p.findNet(3, false), nullptr);  // a valid port's network was made all the same
    CANopenNode* node = p.findNode(3, 127);
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(node->nodeId == 127 && node->port == 3 && p.findNode(3, 127) == node);
    EXPECT_TRUE(p.findNet(63, true)->port == 63 && !p.findNet(64, true));
    p.FlushState();
    EXPECT_TRUE(!p.findNet(3, false) && !p.findNet(63, false));
}

// Guard frames linked into exchanges: a request with its reply, each other reply on its own.
TEST(CanopenParserTest, GuardScanLinksRequestsAndReplies) {
    ScannedStore s;
    const CANframe request = Frame(0x705, {}, 0, FRAME_RTR);
    const CANframe reply = Frame(0x705, {0x85});
    s.Add(request);               // 0
    s.Add(reply);                 // 1: answers 0
    s.Add(Frame(0x181, {1}));     // 2: not a guard frame
    s.Add(reply);                 // 3: a reply after a reply: a new exchange
    s.Add(Frame(0x706, {0x00}));  // 4: another node's boot-up, no predecessor
    s.Add(request);               // 5
    s.Add(Frame(0x705, {0x05}));  // 6
    // Node 0 and 29-bit identifiers are not scanned; a different port is another node.
    s.Add(Frame(0x700, {0x05}));                    // 7
    s.Add(Frame(0x20000705, {0x05}));               // 8
    s.Add(Frame(0x705, {0x05}, 1, FRAME_DATA, 1));  // 9
    // Per frame: whether it starts an exchange, txPrev, txNext.
    const int links[][3] = {{1, -1, 1}, {0, 0, 3},  {0, -1, -1}, {1, 1, 5},   {0, -1, -1},
                            {1, 3, 6},  {0, 5, -1}, {0, -1, -1}, {0, -1, -1}, {0, -1, -1}};
    for (int i = 0; i < 10; i++) {
        const CANframe f = s.At(i);
        EXPECT_EQ(f.scanInfo & 1, static_cast<uint32_t>(links[i][0])) << i;
        EXPECT_EQ(f.Prev(s.store.GetLast()), links[i][1]) << i;
        EXPECT_EQ(f.Next(s.store.GetLast()), links[i][2]) << i;
    }
    const std::vector<StoreIndex> exchanges[] = {{0, 1}, {0, 1}, {2}, {3}, {4}, {5, 6}, {5, 6}};
    for (int i = 0; i < 7; i++) EXPECT_EQ(s.Exchange(i), exchanges[i]) << i;

    // A clear forgets the guard history with the frames.
    s.store.Clear();
    s.Add(reply);  // 0 again
    EXPECT_EQ(s.At(0).Prev(0), -1);
    EXPECT_EQ(s.At(0).scanInfo & 1, 0u);
}

// The scan pads short SDO frames in the store, so that decoding reads no stale bytes.
TEST(CanopenParserTest, ShortSdoFramesArePaddedInTheStore) {
    ScannedStore s;
    const CANframe stored =
        s.At(s.Add(Frame(0x605, {0x40, 0x18, 0x10, 0x01, 0x00, 0xAA, 0xBB, 0xCC}, 5)));
    EXPECT_EQ(stored.length, 5);
    EXPECT_GE(stored.status, static_cast<int>(Severity::kWarning));
    for (int i = 5; i < 8; i++) EXPECT_EQ(stored.data[i], 0) << i;
    // A length beyond 8, which no log holds, reads the eight bytes there are.
    CANframe longer = s.At(s.Add(Frame(0x605, {0x40}, 12)));
    EXPECT_EQ(s.parser.GetShortDesc(longer), "SDO->5: get object 0x0000");
}

}  // namespace
