// Port readers over the emulated cards, through the program's own port layer: time stamps, the
// bus-load figure, the reader limit and opening errors.

#include "hw/can_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "hw/cards.h"
#include "hw/hw_test_support.h"
#include "io/read_manager.h"
#include "store/msg_store.h"

namespace {

// 1000 standard 8-byte frames, all received by the port before they are read, each read stamped
// start + n * 1000 µs (n from 1) from a start at which the clock wraps around: read with times
// relative to the start, and a bus load of 1000 * (48 + 64) bits in 500,000 bit/s = 22.4 %.
TEST(CanReaderTest, StampsRelativeToTheStartAndReportsTheBusLoad) {
    constexpr uint32_t kStart = 4294000000u;
    EmulatedCards flood(HW_DATA_DIR "/can_reader_flood.cfg");
    uint32_t stamped = 0;
    flood.recorder.rewrite = [&](unsigned long request, void* arg) {
        if (request == kIoctlRecvMsg)
            static_cast<__CANCARD_MSG*>(arg)->timestamp = kStart + ++stamped * 1000;
    };
    auto reader = CanPortOpener(flood.cards).OpenPort(0, 2, kStart);
    ASSERT_TRUE(WaitUntil([&] { return flood.driver->Counters(0).received == 1000; }));
    CANframe f;
    int wrong = 0;
    for (uint32_t k = 0; k < 1000; k++)
        wrong += !reader->getNextFrame(f) || f.timestamp != (k + 1) * 1000 || f.port != 0 ||
                 f.id != 0x100 || f.length != 8 || Build32(f.data) != k || f.data[4] != 0;
    EXPECT_EQ(wrong, 0);
    EXPECT_NEAR(flood.cards.ports().Loading(0), 22.4, 1e-9);
}

// The card's 32-bit stamps wrap every 71.6 minutes: the reader counts the wraps, so that frames
// stamped a quarter of a wrap apart from a start just below one keep counting up, past 2^32 us
// and on, as a port read for hours does.
TEST(CanReaderTest, CountsTheWrapsOfTheCardsClock) {
    constexpr uint32_t kStart = 4294000000u, kStep = 0x40000000u;
    EmulatedCards flood(HW_DATA_DIR "/can_reader_flood.cfg");
    uint32_t stamped = 0;
    flood.recorder.rewrite = [&](unsigned long request, void* arg) {
        if (request == kIoctlRecvMsg)
            static_cast<__CANCARD_MSG*>(arg)->timestamp = kStart + ++stamped * kStep;
    };
    auto reader = CanPortOpener(flood.cards).OpenPort(0, 2, kStart);
    ASSERT_TRUE(WaitUntil([&] { return flood.driver->Counters(0).received == 1000; }));
    CANframe f;
    for (uint64_t k = 1; k <= 12; k++) {
        ASSERT_TRUE(reader->getNextFrame(f));
        EXPECT_EQ(f.timestamp, k * kStep) << k;  // three wraps by the last
    }
}

// Opening errors reach the caller and take no reader slot; a ninth port reader is refused and
// the port opened for it is closed on the card again.
TEST(CanReaderTest, EightPortReadersAtMostAndOpeningErrorsPropagate) {
    auto driver = EmulatedDriver::Create(HW_DATA_DIR "/can_reader_ten_ports.cfg");
    Cards cards(driver.get(), SocketCanPorts::LeftOut);
    CanPortOpener opener(cards);
    MsgStore store(16);
    ReadManager readers(nullptr, &opener);
    readers.SetStore(&store);
    const auto read = [&](int portNum, int baud) {
        const std::string error = ThrownError([&] { readers.ReadCanIntf(portNum, baud); });
        return error == "(none)" ? "reading" : error;
    };
    EXPECT_EQ(read(10, 0), "10 Invalid CAN port number: 10");
    EXPECT_EQ(read(0, 8), "10 Unknown baud rate: 8");
    for (int p = 0; p < ReadManager::kMaxReaders; p++) EXPECT_EQ(read(p, 0), "reading") << p;
    // Holds port 8's node open, so that only the close command can close the port on the card.
    CanIntf ninth(cards, 8, false);
    EXPECT_EQ(read(8, 0), "13 Too many message readers alreay open");
    EXPECT_EQ(ninth.getPortInfo().status, "Port Closed");
    EXPECT_EQ(CanIntf(cards, 7, false).getPortInfo().status, "Port Opened");
    readers.StopAll();
    EXPECT_EQ(CanIntf(cards, 7, false).getPortInfo().status, "Port Closed");
}

// A card that vanishes (types 259 and 260 while they restart after a reset) makes every read
// fail; the reader pauses a read time-out before each failure goes up, so that the reader loop,
// which drops it and calls again, does not keep a core busy.
TEST(CanReaderTest, AVanishedCardPausesItsReader) {
    auto driver = EmulatedDriver::Create(HW_DATA_DIR "/can_reader_vanishing.cfg");
    Cards cards(driver.get(), SocketCanPorts::LeftOut);
    auto port = std::make_unique<CanIntf>(cards, 0, false);
    port->open();
    CanReader reader(std::move(port), GetTime(), 500000);
    CanIntf(cards, 0, false).Reset();
    CANframe frame;
    for (int i = 0; i < 2; i++) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ThrownError([&] { reader.getNextFrame(frame); }), "11 Unknown CAN error -1");
        // Most of a time-out at least (the sleep's clock and this one may differ a little).
        EXPECT_GE(std::chrono::steady_clock::now() - start,
                  std::chrono::milliseconds(CanReader::kReadTimeout / 2));
    }
}

}  // namespace
