// The scan pass on reader threads and decoding on the GUI thread both create networks and nodes
// on first use: each node must be made once, and neither side may race the other (run under
// TSan).

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "decode/canopen_parser.h"
#include "decode/decode_helpers.h"
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

// Counts the window thread's passes over the store, so that the reader can wait for one.
struct Passes {
    void Done() {
        {
            std::lock_guard<std::mutex> hold(lock);
            count++;
        }
        changed.notify_all();
    }
    // Waits until a pass began after this call (at most kPatience).
    void AwaitNext() {
        std::unique_lock<std::mutex> hold(lock);
        const int seen = count;
        changed.wait_for(hold, kPatience, [&] { return count > seen + 1; });
    }
    std::mutex lock;  // guards count
    std::condition_variable changed;
    int count = 0;
};

// Node 5's TPDO1 remapped by SDO every round, statusword and position swapping places, each
// mapping followed by PDO frames laid out by it. A position's low byte is 0xAA, so the bytes tell
// the layout a frame was sent in. Each round waits for the window thread's next whole pass, so
// remappings always arrive while it decodes.
struct RemapSource : FrameProducer {
    static constexpr int kRounds = 100;
    static constexpr int kPdos = 20;
    explicit RemapSource(Passes& passes) : passes(passes) {}
    bool getNextFrame(CANframe& frame) override {
        if (frames.empty()) {
            if (round == kRounds) throw EndOfFileException();
            if (round > 0) passes.AwaitNext();
            Round(round++);
        }
        frame = frames.back();
        frames.pop_back();
        return true;
    }
    void Round(int r) {
        const bool swapped = r % 2;
        const uint32_t statusword = 0x60410010, position = 0x60640020;
        const std::vector<std::pair<uint32_t, uint32_t>> writes = {
            {0x18000100, 0x80000185},
            {0x1A000000, 0},
            {0x1A000100, swapped ? position : statusword},
            {0x1A000200, swapped ? statusword : position},
            {0x1A000000, 2},
            {0x18000100, 0x40000185}};
        std::vector<CANframe> sent;
        for (const auto& [object, value] : writes) {
            const uint8_t head[] = {0x23, static_cast<uint8_t>(object >> 16),
                                    static_cast<uint8_t>(object >> 24),
                                    static_cast<uint8_t>(object >> 8)};
            sent.push_back(
                Frame(0x605, {head[0], head[1], head[2], head[3], static_cast<uint8_t>(value),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 24)}));
            sent.push_back(Frame(0x585, {0x60, head[1], head[2], head[3], 0, 0, 0, 0}));
        }
        for (int k = 0; k < kPdos; k++) {
            const uint32_t pos = static_cast<uint32_t>(r * kPdos + k) << 8 | 0xAA;
            const std::vector<uint8_t> p = {
                static_cast<uint8_t>(pos), static_cast<uint8_t>(pos >> 8),
                static_cast<uint8_t>(pos >> 16), static_cast<uint8_t>(pos >> 24)};
            sent.push_back(swapped ? Frame(0x185, {p[0], p[1], p[2], p[3], 0x37, 0x02})
                                   : Frame(0x185, {0x37, 0x02, p[0], p[1], p[2], p[3]}));
        }
        frames.assign(sent.rbegin(), sent.rend());
    }
    static CANframe Frame(uint32_t id, const std::vector<uint8_t>& bytes) {
        CANframe f;
        f.id = id;
        f.length = static_cast<int>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), f.data);
        return f;
    }
    Passes& passes;
    int round = 0;
    std::vector<CANframe> frames;  // of the current round, last first
};

// The expected short description of a PDO frame of RemapSource, from its bytes alone.
std::string Expected(const CANframe& f) {
    const bool swapped = f.data[0] == 0xAA;
    const uint8_t* p = f.data + (swapped ? 0 : 2);
    const int32_t pos = static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
    const std::string position = "Position actual value=" + std::to_string(pos);
    return "TPDO1<-5: " +
           (swapped ? position + " Statusword=0x0237" : "Statusword=0x0237 " + position);
}

TEST(CanopenConcurrencyTest, RemappingsArriveWhileOlderFramesAreDecoded) {
    constexpr int kFrames = RemapSource::kRounds * (12 + RemapSource::kPdos);
    TestDictionaries names({{5, "pdo_drive.eds"}});
    MsgStore store(kFrames);
    CANopenParser parser(&store, &names);
    store.SetDecoder(&parser);
    ReadManager readers;
    readers.SetStore(&store);
    Passes passes;
    readers.AddReader(std::make_unique<RemapSource>(passes));
    // The window's thread draws what is stored so far, over and over, until the reader is done.
    int decoded = 0, wrong = 0;
    const auto drawAll = [&] {
        CANframe f;
        for (int i = store.GetFirst(), last = store.GetLast(); i <= last; i++) {
            if (!store.Get(i, f) || f.id != 0x185) continue;
            decoded++;
            if (parser.GetShortDesc(f) != Expected(f)) wrong++;
        }
        passes.Done();
    };
    EXPECT_TRUE(WaitUntil([&] { return store.GetTotal(nullptr, nullptr) == kFrames; }, drawAll));
    readers.StopAll();
    drawAll();
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(decoded, RemapSource::kRounds * RemapSource::kPdos);
}

}  // namespace
