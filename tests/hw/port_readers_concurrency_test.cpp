// Eight port readers, each on a flood bus of its own, add to the store while the test thread
// reads it as the GUI does and downloads firmware to a ninth port beside them: no data race (run
// under TSan), and every port's frames are stored once each, in order and stamped relative to the
// start of reading.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/progress.h"
#include "base/utils.h"
#include "hw/can_reader.h"
#include "hw/card_protocol.h"
#include "hw/cards.h"
#include "hw/firmware_file.h"
#include "io/read_manager.h"
#include "sim/emulated_driver.h"
#include "store/msg_store.h"
#include "store/store_helpers.h"
#include "support/test_support.h"

namespace {

// Counts the failed checks of a download.
struct FailedChecks : Progress {
    void SetMax(float) override {}
    void Update(float, const char* text) override {
        count += text && std::string(text) == "CRC check failed, retrying";
    }
    int count = 0;
};

TEST(PortReadersConcurrency, EightFloodedPortsWhileTheStoreIsReadAndFirmwareDownloaded) {
    constexpr int kPorts = ReadManager::kMaxReaders;
    constexpr int kFramesEach = 5000;
    constexpr int kTotal = kPorts * kFramesEach;
    auto driver = EmulatedDriver::Create(HW_DATA_DIR "/port_readers.cfg");
    Cards cards(driver.get(), SocketCanPorts::LeftOut);
    FirmwareFile file;
    file.Load(HW_DATA_DIR "/firmware/good.kfw");
    unsigned int mainLength = 0;
    const unsigned char* main = file.GetMainImage(mainLength);
    CanIntf card(cards, kPorts, false);

    CanPortOpener opener(cards);
    MsgStore store(kTotal + 1000);
    TestFilter filter;
    FiltStore view(store, filter);
    ReadManager readers(nullptr, &opener);
    readers.SetStore(&store);
    readers.SetStartTime();
    for (int p = 0; p < kPorts; p++) readers.ReadCanIntf(p, 0);

    // The GUI thread's reads, the totals and the newest rows of both stores, and downloads.
    CANframe f;
    StoreIndex first, last;
    FailedChecks checks;
    const bool stored =
        WaitUntil([&] { return store.GetTotal(&first, &last) >= kTotal; },
                  [&] {
                      for (StoreIndex i = std::max(first, last - 20); i <= last; i++)
                          store.Get(i, f);
                      view.GetTotal(&first, &last);
                      for (StoreIndex i = std::max(first, last - 20); i <= last; i++)
                          view.Get(i, f);
                      card.DnldFirmware(file, &checks);
                  });
    EXPECT_TRUE(stored) << "frames stored: " << store.GetTotal(nullptr, nullptr);
    readers.StopAll();
    EXPECT_EQ(checks.count, 0);
    EXPECT_EQ(driver->Flash(kPorts, kMainImageId), std::vector<uint8_t>(main, main + mainLength));

    EXPECT_EQ(store.GetTotal(nullptr, nullptr), kTotal);
    EXPECT_EQ(view.GetTotal(nullptr, nullptr), kTotal);
    const uint32_t sinceStart = GetTime() - readers.startTime;
    std::vector<uint32_t> next(kPorts, 0), lastTime(kPorts, 0);
    int wrong = 0;
    for (int i = 0; i < kTotal; i++) {
        if (!store.Get(i, f) || f.port >= kPorts) {
            wrong++;
            continue;
        }
        const int p = f.port;
        wrong += Build32(f.data) != next[p]++ || f.data[4] != p || f.id != 0x100u + p ||
                 f.length != 8 || f.timestamp < lastTime[p] || f.timestamp > sinceStart;
        lastTime[p] = f.timestamp;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(next, std::vector<uint32_t>(kPorts, kFramesEach));
    for (int p = 0; p < kPorts; p++) EXPECT_EQ(driver->Counters(p).overruns, 0u) << p;
}

}  // namespace
