#include "decode/canopen_parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/quillon.h"
#include "decode/canopen_test_support.h"
#include "store/msg_store.h"

namespace {

// The short description the raw decoder gives.
std::string Raw(const CANframe& frame) {
    Parser raw;
    CANframe copy(frame);
    return raw.GetShortDesc(copy);
}

TEST(CanopenParserTest, DispatchesByIdentifier) {
    CANopenParser p;
    EXPECT_EQ(Decode(p, Frame(0x080, {})).desc, "SYNC");
    EXPECT_EQ(Decode(p, Frame(0x081, {0, 0, 0, 0, 0, 0, 0, 0})).desc, "EMCY.1: Error cleared");
    EXPECT_EQ(Decode(p, Frame(0x000, {0x01, 0x00})).desc, "NMT: Start Remote Node - all nodes");
    EXPECT_EQ(Decode(p, Frame(0x7E5, {0x5E})).desc, "LSS - Enquire Node ID");
    EXPECT_EQ(Decode(p, Frame(0x77F, {0x05})).desc, "GUARD<-127: node is Operational");
    for (const CANframe& f :
         {Frame(0x100, {1}), Frame(0x700, {0x05}), Frame(0x181, {1, 2}), Frame(0x7E6, {4, 1}),
          Frame(0x605 | 1u << 29, {0x40, 0x00, 0x10, 0x00}), Frame(0x2000080, {}),
          Frame(0x20000701, {5}), Frame(0x200, {}, 0, FRAME_RTR)})
        EXPECT_EQ(Decode(p, f).desc, Raw(f)) << std::hex << f.id;
    // Bits above 29 take no part: 0x80000701 is node 1's guard channel.
    EXPECT_EQ(Decode(p, Frame(0x80000701, {0x05})).desc, "GUARD<-1: node is Operational");

    CANframe text;
    text.SetText("a comment");
    EXPECT_EQ(Decode(p, text).desc, "a comment");
    CANframe error = Frame(0, {3, 4}, 2, FRAME_ERROR);
    EXPECT_EQ(Decode(p, error).desc, Raw(error));
    EXPECT_EQ(Decode(p, error).status, 3);

    // SDO frames go to their node's SDO decoder; with a message the short description is left
    // to the message's lines. A port without networks has no nodes: the raw decoder answers.
    CANframe sdo = Frame(0x605, {0x40, 0x00, 0x10, 0x00, 0, 0, 0, 0});
    EXPECT_EQ(Decode(p, sdo).desc, "SDO->5: get object 0x1000");
    std::unique_ptr<ParsedMessage> m(p.Parse(sdo));
    EXPECT_EQ(p.doParse(sdo, m.get()), "");
    EXPECT_EQ(Decode(p, Frame(0x585, {0x43}, 1, FRAME_DATA, 64)).desc, "0x43 ");
}

TEST(CanopenParserTest, NetworksAndNodes) {
    CANopenParser p;
    EXPECT_EQ(p.findNode(64, 1), nullptr);
    EXPECT_EQ(p.findNode(-1, 1), nullptr);
    EXPECT_EQ(p.findNet(3, false), nullptr);
    EXPECT_EQ(p.findNode(3, 0), nullptr);
    ASSERT_NE(p.findNet(3, false), nullptr);  // the network was made all the same
    EXPECT_EQ(p.findNet(3, false)->port, 3);
    EXPECT_EQ(p.findNode(3, 128), nullptr);
    CANopenNode* node = p.findNode(3, 127);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->nodeId, 127);
    EXPECT_EQ(node->port, 3);
    EXPECT_EQ(node->lastGuard, -1);
    EXPECT_EQ(node->numEmcyCodes, 193u);
    EXPECT_EQ(p.findNode(3, 127), node);
    EXPECT_EQ(p.findNet(63, true)->port, 63);

    EXPECT_EQ(node->GetObjName(0x10180000), "object 0x1018");
    EXPECT_EQ(node->GetObjName(0x10180002), "object 0x1018.0x02");
    EXPECT_EQ(node->GetObjName(0x600000FF), "object 0x6000.0xff");

    p.FlushState();
    EXPECT_EQ(p.findNet(3, false), nullptr);
    EXPECT_EQ(p.findNet(63, false), nullptr);
}

// Guard frames scanned through a real store, checked through its exchange lists.
class CanopenGuardScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App().msgStore = std::make_unique<MsgStore>(capacity);
        App().parser = std::make_unique<CANopenParser>();
    }
    void TearDown() override {
        App().msgStore.reset();
        App().parser.reset();
    }
    static void Add(const CANframe& f) { App().msgStore->Add(f); }
    static CANframe At(int index) {
        CANframe f;
        App().msgStore->Get(index, f);
        return f;
    }
    int capacity = 100;
};

TEST_F(CanopenGuardScanTest, RequestsRepliesAndHeartbeats) {
    const CANframe request = Frame(0x705, {}, 0, FRAME_RTR);
    const CANframe reply = Frame(0x705, {0x85});
    Add(request);               // 0
    Add(reply);                 // 1: answers 0
    Add(Frame(0x181, {1}));     // 2: not a guard frame
    Add(reply);                 // 3: a reply after a reply: a new exchange
    Add(Frame(0x706, {0x00}));  // 4: another node's boot-up, no predecessor
    Add(request);               // 5
    Add(Frame(0x705, {0x05}));  // 6
    EXPECT_EQ(At(0).scanInfo & 1, 1u);
    EXPECT_EQ(At(1).scanInfo & 1, 0u);
    EXPECT_EQ(At(3).scanInfo & 1, 1u);
    EXPECT_EQ(At(4).scanInfo & 1, 0u);
    EXPECT_EQ(At(5).scanInfo & 1, 1u);
    EXPECT_EQ(At(0).txPrev, -1);
    EXPECT_EQ(At(0).txNext, 1);
    EXPECT_EQ(At(1).txPrev, 0);
    EXPECT_EQ(At(1).txNext, 3);
    EXPECT_EQ(At(3).txPrev, 1);
    EXPECT_EQ(At(4).txPrev, -1);
    EXPECT_EQ(At(2).txPrev, -1);  // untouched
    EXPECT_EQ(Exchange(1), (std::vector<int>{0, 1}));
    EXPECT_EQ(Exchange(0), (std::vector<int>{0, 1}));
    EXPECT_EQ(Exchange(3), (std::vector<int>{3}));
    EXPECT_EQ(Exchange(6), (std::vector<int>{5, 6}));
    EXPECT_EQ(Exchange(4), (std::vector<int>{4}));

    // Node 0 and 29-bit identifiers are not scanned; a different port is another node.
    Add(Frame(0x700, {0x05}));                    // 7
    Add(Frame(0x705, {0x05}, 1, FRAME_DATA, 1));  // 8
    EXPECT_EQ(At(7).txPrev, -1);
    EXPECT_EQ(At(8).txPrev, -1);
    EXPECT_EQ(At(6).txNext, -1);

    // A clear forgets the guard history with the frames.
    App().msgStore->Clear();
    Add(reply);  // 0 again
    EXPECT_EQ(At(0).txPrev, -1);
    EXPECT_EQ(At(0).scanInfo & 1, 0u);
}

}  // namespace
