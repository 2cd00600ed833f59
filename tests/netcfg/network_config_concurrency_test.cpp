// Reader threads scan and decode SDO traffic, naming objects from EDS files, while the GUI
// thread edits the network configuration and loads it again: no data race (run under TSan), and
// every frame decoded under one configuration is named as it names it. Each configuration is
// held until the readers have decoded frames of both ports under it, whatever the scheduler does.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "decode/canopen_parser.h"
#include "io/log_parser.h"
#include "io/read_manager.h"
#include "netcfg/network_config.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

constexpr int kDecodesPerState = 100;  // per port
constexpr auto kRelaxed = std::memory_order_relaxed;

// Expedited reads of object 0x6040 from node 5, on port 0 then port 1, for ever.
struct SdoSource : FrameProducer {
    bool getNextFrame(CANframe& frame) override {
        const unsigned n = sent++;
        std::string line =
            "CAN" + std::to_string(n / 2 % 2) +
            (n % 2 ? ": 0x585 - 0x4B 0x40 0x60 0 15 0 0 0" : ": 0x605 - 0x40 0x40 0x60 0 0 0 0 0");
        return QuillonLogParser().Parse(line.data(), frame);
    }
    unsigned sent = 0;
};

// Decodes every frame as it is stored, as quillon-dump does. A decode that began and ended under
// one configuration (state, -1 while it changes) must show the name that configuration gives.
struct Namer : StoreListener {
    static constexpr int kStates = 16;
    explicit Namer(Parser& parser) : parser(parser) {}
    void AddStore(StoreIndex, StoreIndex last, int total) override {
        CANframe frame;
        if (total == 0 || !store->Get(last, frame)) return;
        const int before = state.load();
        const std::string desc = parser.GetShortDesc(frame);
        if (before < 0 || state.load() != before) return;
        if (desc.find(names[before][frame.port]) == std::string::npos) wrong++;
        decoded[before][frame.port].fetch_add(1, kRelaxed);
    }
    // Holds the configuration just made, which names object 0x6040 of node 5 port0 and port1.
    // Once one was not decoded in time (the test fails), the others are not waited for.
    void Hold(const char* port0, const char* port1) {
        names[states][0] = port0;
        names[states][1] = port1;
        state = states;
        const auto bothDecoded = [&] {
            return decoded[states][0].load(kRelaxed) >= kDecodesPerState &&
                   decoded[states][1].load(kRelaxed) >= kDecodesPerState;
        };
        stalled = stalled || !WaitUntil(bothDecoded);
        EXPECT_FALSE(stalled) << "frames of both ports not decoded under configuration " << states;
        state = -1;  // before any change
        states++;
    }

    Parser& parser;
    std::atomic<int> state{-1};
    int states = 0;  // held so far (editing thread)
    bool stalled = false;
    const char* names[kStates][2] = {};
    std::atomic<int> decoded[kStates][2] = {};
    int wrong = 0;  // under the store's ingest lock, like the notices
};

TEST(NetworkConfigConcurrencyTest, NamesWhileTheConfigurationChanges) {
    TempDir dir;
    const std::string drive = dir.file("drive.eds"), node = dir.file("node.eds");
    const std::string other = dir.file("other.eds"), cfg = dir.file("net.cfg");
    WriteFile(drive, "[6040]\nParameterName=Controlword\n");
    WriteFile(node, "[6040]\nParameterName=Node word\n");
    WriteFile(other, "[6041]\nParameterName=Statusword\n");
    WriteFile(cfg, "[NetCFG]\n[Network]\neds:" + drive + "\n[Node]\nid:5\n[END]\n[END]\n[END]\n");
    NetworkConfig config;
    MsgStore store(1 << 12);
    CANopenParser parser(&store, &config);
    store.SetDecoder(&parser);
    Namer namer(parser);
    store.AddStoreListener(&namer);
    ReadManager readers;
    readers.SetStore(&store);
    for (int i = 0; i < 4; i++) readers.AddReader(std::make_unique<SdoSource>());

    const char* const unnamed = "object 0x6040";
    ASSERT_EQ(config.Load(cfg.c_str()), nullptr);
    namer.Hold("Controlword", unnamed);
    config.Net(0)->setPortStr("1");
    namer.Hold(unnamed, "Controlword");
    NodeInfo* five = config.Net(0)->FindNode(5);
    five->setEDS(node);  // the node's own file comes first
    namer.Hold(unnamed, "Node word");
    five->setEDS(other);  // also for what only the network's file names
    namer.Hold(unnamed, unnamed);
    config.Net(0)->RemoveNode(five);
    namer.Hold(unnamed, "Controlword");
    ASSERT_EQ(config.Load(cfg.c_str()), nullptr);
    namer.Hold("Controlword", unnamed);
    config.RemoveNet(config.Net(0));
    namer.Hold(unnamed, unnamed);
    config.CreateNet(nullptr)->setPortStr("1");
    config.Net(0)->setEDS(drive);
    namer.Hold(unnamed, "Controlword");
    // As the dialog adds or pastes a node and then gives it another id.
    auto added = std::make_unique<NodeInfo>(nullptr, config.Dictionaries());
    added->setEDS(node);
    NodeInfo* one = added.get();
    config.Net(0)->AddNode(std::move(added));
    namer.Hold(unnamed, "Controlword");
    one->setIdStr("5");
    namer.Hold(unnamed, "Node word");
    readers.StopAll();
    EXPECT_EQ(namer.wrong, 0);
}

}  // namespace
