// The scan pass on reader threads and decoding on the GUI thread both create networks and nodes
// on first use: each node must be made once, and neither side may race the other (run under
// TSan).

#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "decode/canopen_parser.h"
#include "io/log_reader.h"
#include "io/read_manager.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

constexpr int kSources = 4;
constexpr int kPorts = 8;

// Guard frames of every node of kPorts ports, each source in another order.
struct GuardSource : FrameProducer {
    explicit GuardSource(int source) : source(source) {}
    bool getNextFrame(CANframe& frame) override {
        if (sent == kPorts * 127) throw EndOfFileException();
        const int k = (sent * (2 * source + 1)) % (kPorts * 127);
        frame.Reset(false);
        frame.port = k % kPorts;
        frame.id = 0x700 + 1 + k / kPorts;
        frame.length = 1;
        frame.data[0] = 0x05;
        sent++;
        return true;
    }
    int source;
    int sent = 0;
};

TEST(CanopenConcurrencyTest, ScanAndDecodeCreateEachNodeOnce) {
    MsgStore store(1 << 14);
    CANopenParser parser(&store);
    store.SetDecoder(&parser);
    ReadManager readers;
    readers.SetStore(&store);

    for (int s = 0; s < kSources; s++) readers.AddReader(std::make_unique<GuardSource>(s));
    // Meanwhile the GUI thread decodes emergencies of the same nodes, last node first.
    CANframe emcy;
    emcy.length = 8;
    for (int round = 0; round < 3; round++)
        for (int k = kPorts * 127 - 1; k >= 0; k--) {
            emcy.port = k % kPorts;
            emcy.id = 0x080 + 1 + k / kPorts;
            CANframe copy(emcy);
            EXPECT_EQ(parser.GetShortDesc(copy).rfind("EMCY.", 0), 0u);
        }
    // Until every frame is in, however long the readers take.
    const auto stored = [&] { return store.GetTotal(nullptr, nullptr); };
    EXPECT_TRUE(WaitUntil([&] { return stored() >= kSources * kPorts * 127; }))
        << "frames stored: " << stored();
    readers.StopAll();

    EXPECT_EQ(store.GetTotal(nullptr, nullptr), kSources * kPorts * 127);
    std::set<CANopenNode*> nodes;
    for (int port = 0; port < kPorts; port++)
        for (int id = 1; id <= 127; id++) {
            CANopenNode* node = parser.findNode(port, id);
            ASSERT_NE(node, nullptr);
            EXPECT_TRUE(node->port == port && node->nodeId == id);
            EXPECT_GE(node->lastGuard, 0);  // the scan pass used this very node
            nodes.insert(node);
        }
    EXPECT_EQ(nodes.size(), static_cast<size_t>(kPorts * 127));
}

}  // namespace
