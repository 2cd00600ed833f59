// Reader threads scan and decode SDO traffic, naming objects from EDS files, while the GUI
// thread edits the network configuration and loads it again: no data race (run under TSan), and
// every name is one the configuration could have given.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/quillon.h"
#include "decode/canopen_parser.h"
#include "io/log_reader.h"
#include "io/read_manager.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

constexpr int kSources = 4;
constexpr int kFramesEach = 4000;
std::atomic<int> produced{0};
// Frames each source may hand out so far, raised by every round of edits, so that additions and
// edits interleave whatever the scheduler does (readers may run real-time).
std::atomic<int> allowance{0};

// Expedited reads of object 0x6040 from node 5 on port source % 2, request then response.
struct SdoSource : FrameProducer {
    explicit SdoSource(int source) : source(source) {}
    bool getNextFrame(CANframe& frame) override {
        if (sent == kFramesEach) throw EndOfFileException();
        while (sent >= allowance) Thread::sleep(1);
        const bool request = sent % 2 == 0;
        frame.Reset(false);
        frame.port = source % 2;
        frame.id = request ? 0x605 : 0x585;
        frame.length = 8;
        const uint8_t bytes[8] = {static_cast<uint8_t>(request ? 0x40 : 0x4B), 0x40, 0x60, 0, 0x0F};
        for (int i = 0; i < 8; i++) frame.data[i] = bytes[i];
        sent++;
        produced++;
        return true;
    }
    int source;
    int sent = 0;
};

// Decodes every frame as it arrives, as quillon-dump does.
struct Namer : StoreListener {
    void AddStore(int, int last, int total) override {
        if (total == 0) return;
        CANframe frame;
        if (!App().msgStore->Get(last, frame)) return;
        const std::string desc = App().parser->GetShortDesc(frame);
        if (desc.find("Controlword") != std::string::npos)
            named++;
        else if (desc.find("object 0x6040") != std::string::npos)
            unnamed++;
        else
            other++;
    }
    int named = 0, unnamed = 0, other = 0;  // under the store's ingest lock, like the notices
};

TEST(NetworkConfigConcurrencyTest, NamesWhileTheConfigurationChanges) {
    TempDir dir;
    WriteFile(dir.file("drive.eds"), "[6040]\nParameterName=Controlword\n");
    const std::string cfg = dir.file("net.cfg");
    WriteFile(cfg, "[NetCFG]\n[Network]\nport:0\neds:" + dir.file("drive.eds") +
                       "\n[Node]\nid:5\n[END]\n[END]\n[END]\n");
    Quillon& app = App();
    app.msgStore = std::make_unique<MsgStore>(1 << 12);
    app.parser = std::make_unique<CANopenParser>();
    Namer namer;
    app.msgStore->AddStoreListener(&namer);
    for (int s = 0; s < kSources; s++) app.readMgr.AddReader(std::make_unique<SdoSource>(s));

    int edits = 0;
    while (produced < kSources * kFramesEach) {
        ASSERT_EQ(app.netConfig.Load(cfg.c_str()), nullptr);
        NetworkInfo* net = app.netConfig.Net(0);
        net->setPortStr(edits % 2 ? "1" : "0");
        if (NodeInfo* node = net->FindNode(5)) node->setEDS(dir.file("drive.eds"));
        net->RemoveNode(net->FindNode(5));
        net->setEDS(edits % 3 ? "" : dir.file("drive.eds"));
        edits++;
        allowance += 100;
    }
    app.readMgr.StopAll();
    app.msgStore->DelStoreListener(&namer);

    EXPECT_GE(edits, kFramesEach / 100);
    EXPECT_EQ(namer.named + namer.unnamed + namer.other, kSources * kFramesEach);
    EXPECT_EQ(namer.other, 0);
    EXPECT_GT(namer.named, 0);
    for (int i = 0; i < NetworkConfig::kMaxNets; i++) app.netConfig.RemoveNet(app.netConfig.Net(i));
    app.msgStore.reset();
    app.parser.reset();
}

}  // namespace
