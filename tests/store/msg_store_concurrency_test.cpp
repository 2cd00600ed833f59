// Eight log readers add at once while another thread reads the store: every frame must be
// scanned and announced exactly once, in index order, with no data race (run under TSan).

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/quillon.h"
#include "decode/parser.h"
#include "io/read_manager.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

constexpr int kSources = ReadManager::kMaxReaders;
constexpr int kFramesEach = 3000;

// A decoder that checks the scan order and annotates frames the way a real one does: marks,
// and links to the previous frame of the same source.
struct CheckingDecoder : Parser {
    void Scan(int index, CANframe& frame) override {
        if (index != nextIndex) orderErrors++;
        nextIndex = index + 1;
        const int source = frame.data[0];
        const int seq = frame.data[1] << 8 | frame.data[2];
        if (seq != lastSeq[source] + 1) orderErrors++;  // each source arrives in file order
        lastSeq[source] = seq;
        frame.scanInfo = seq == 0 ? 1 : 0;
        frame.txPrev = lastIndex[source];
        if (CANframe* prev = App().msgStore->GetFramePtr(lastIndex[source])) prev->txNext = index;
        lastIndex[source] = index;
        scanned++;
    }
    // Written only under the store's ingest lock.
    int nextIndex = 0;
    int orderErrors = 0;
    int lastSeq[kSources];
    int lastIndex[kSources];
    std::atomic<int> scanned{0};
};

struct NoticeChecker : StoreListener {
    void AddStore(int, int last, int total) override {
        if (total == 0) return;
        if (last != expected) errors++;
        expected = last + 1;
        announced++;
    }
    int expected = 0;  // under the ingest lock, like the notices
    int errors = 0;
    std::atomic<int> announced{0};
};

// Reads the store the way the message list does, at a higher priority than the readers.
struct Browser : Thread {
    void run() override {
        CANframe f;
        Array<int> list;
        while (!stop) {
            int first, last;
            App().msgStore->GetTotal(&first, &last);
            for (int i = first; i <= last && i < first + 50; i++) App().msgStore->Get(i, f);
            App().msgStore->GetTxList(last, list);
            reads++;
            Thread::sleep(1);
        }
        running = false;
    }
    std::atomic<bool> stop{false}, running{true};
    std::atomic<long> reads{0};
};

TEST(MsgStoreConcurrencyTest, EightReadersScanEachFrameOnceInOrder) {
    TempDir dir;
    for (int s = 0; s < kSources; s++) {
        std::string log;
        for (int k = 0; k < kFramesEach; k++)
            log += std::to_string(k) + " CAN" + std::to_string(s) + ": 0x" +
                   std::to_string(100 + s) + " - " + std::to_string(s) + " " +
                   std::to_string(k >> 8) + " " + std::to_string(k & 255) + "\n";
        WriteFile(dir.file("s" + std::to_string(s) + ".log"), log);
    }
    auto decoder = std::make_unique<CheckingDecoder>();
    for (int s = 0; s < kSources; s++) decoder->lastSeq[s] = decoder->lastIndex[s] = -1;
    CheckingDecoder& check = *decoder;
    App().msgStore = std::make_unique<MsgStore>(1000);  // wraps many times
    App().parser = std::move(decoder);
    NoticeChecker notices;
    App().msgStore->AddStoreListener(&notices);

    Browser browser;
    browser.setPriority(9);
    ASSERT_EQ(browser.start(), 0);
    for (int s = 0; s < kSources; s++)
        App().readMgr.ReadLogFile(dir.file("s" + std::to_string(s) + ".log"), false);
    for (int i = 0; i < 6000 && check.scanned < kSources * kFramesEach; i++) Thread::sleep(10);
    App().readMgr.StopAll();
    browser.stop = true;
    while (browser.running) Thread::sleep(5);

    EXPECT_EQ(check.scanned, kSources * kFramesEach);
    EXPECT_EQ(notices.announced, kSources * kFramesEach);
    EXPECT_EQ(check.orderErrors, 0);
    EXPECT_EQ(notices.errors, 0);
    EXPECT_GT(browser.reads, 0);
    App().msgStore.reset();
    App().parser.reset();
}

}  // namespace
