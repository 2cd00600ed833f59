// Port readers over the emulated cards, through the program's own port layer: time stamps, the
// bus-load figure, the reader limit and opening errors.

#include "hw/can_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/cards.h"
#include "io/read_manager.h"
#include "sim/emulation_test_support.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

// The emulated driver with the time stamps of the first `limit` received records rewritten to
// start + n * 1000 µs (n from 1), so that the reader meets chosen times and never the real
// clock: until then a receive waits for a frame instead of timing out, and after them it waits
// for Release().
class StampingCalls : public DriverCalls {
  public:
    StampingCalls(DriverCalls& inner, int limit) : inner(inner), limit(limit) {}

    int Access(const char* path, int mode) override { return inner.Access(path, mode); }
    int Open(const char* path, int flags) override { return inner.Open(path, flags); }
    int Close(int fd) override { return inner.Close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (request != kIoctlRecvMsg) return inner.Ioctl(fd, request, arg);
        {
            std::unique_lock<std::mutex> hold(mutex);
            released.wait(hold, [this] { return received < limit || open; });
            if (open) return inner.Ioctl(fd, request, arg);
        }
        auto* msg = static_cast<__CANCARD_MSG*>(arg);
        const uint32_t timeout = msg->timeout;
        int rc;
        do {
            msg->timeout = timeout;
            rc = inner.Ioctl(fd, request, arg);
        } while (rc == 7);  // no frame yet
        if (rc == 0) {
            std::lock_guard<std::mutex> hold(mutex);
            msg->timestamp = start + static_cast<uint32_t>(++received) * 1000;
        }
        return rc;
    }
    void Release() {
        std::lock_guard<std::mutex> hold(mutex);
        open = true;
        released.notify_all();
    }

    uint32_t start = 0;

  private:
    DriverCalls& inner;
    const int limit;
    std::mutex mutex;
    std::condition_variable released;
    int received = 0;
    bool open = false;
};

// 1000 standard 8-byte frames stamped over one second at 500 kbit/s: stored with times relative
// to the start of reading, and a bus load of 1000 * (48 + 64) bits in 500,000 bit/s = 22.4 %.
TEST(CanReaderTest, StampsRelativeToTheStartAndReportsTheBusLoad) {
    constexpr int kFrames = 1000;
    TempDir dir;
    auto driver =
        DriverFrom(dir.path(), Block("Bus", "bitrate:500000\n" + Block("Flood",
                                                                       "count:1000\nid:0x100\n"
                                                                       "length:8\n")) +
                                   Block("Card", Block("Port", "bus:0\n")));
    StampingCalls calls(*driver, kFrames);
    Cards cards{&calls, SocketCanPorts::LeftOut};
    CanPortOpener opener(cards);
    MsgStore store(2 * kFrames);
    ReadManager readers(nullptr, &opener);
    readers.SetStore(&store);
    readers.SetStartTime();
    calls.start = readers.startTime;
    readers.ReadCanIntf(0, 2);
    EXPECT_TRUE(WaitUntil([&] { return store.GetTotal(nullptr, nullptr) >= kFrames; }))
        << "frames stored: " << store.GetTotal(nullptr, nullptr);
    // The load is set before the frame that completes the second is stored.
    EXPECT_NEAR(cards.ports().Loading(0), 22.4, 1e-9);
    calls.Release();
    readers.StopAll();

    CANframe f;
    int wrong = 0;
    for (int k = 0; k < kFrames; k++)
        wrong += !store.Get(k, f) || f.timestamp != uint32_t(k + 1) * 1000 || f.port != 0 ||
                 f.id != 0x100 || f.length != 8 || Build32(f.data) != uint32_t(k) || f.data[4] != 0;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(store.GetTotal(nullptr, nullptr), kFrames);
}

// Opening errors reach the caller and take no reader slot; a ninth port reader is refused and
// the port opened for it is closed on the card again.
TEST(CanReaderTest, EightPortReadersAtMostAndOpeningErrorsPropagate) {
    TempDir dir;
    const std::string port = Block("Port", "bus:0\n");
    std::string body = Block("Bus", "bitrate:1000000\n");
    for (int card = 0; card < 5; card++) body += Block("Card", port + port);
    auto driver = DriverFrom(dir.path(), body);
    Cards cards(driver.get(), SocketCanPorts::LeftOut);
    CanPortOpener opener(cards);
    MsgStore store(16);
    ReadManager readers(nullptr, &opener);
    readers.SetStore(&store);
    readers.SetStartTime();
    auto read = [&](int portNum, int baud) {
        try {
            readers.ReadCanIntf(portNum, baud);
        } catch (const QuillonError& e) {
            return Format("%d %s", e.code, e.message.c_str());
        }
        return std::string("reading");
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
    TempDir dir;
    auto driver = DriverFrom(dir.path(),
                             "[Bus]\nbitrate:500000\n[END]\n"
                             "[Card]\ntype:260\nvanish_ms:600000\n[Port]\nbus:0\n[END]\n[END]\n");
    Cards cards(driver.get(), SocketCanPorts::LeftOut);
    auto port = std::make_unique<CanIntf>(cards, 0, false);
    port->open();
    CanReader reader(std::move(port), GetTime(), 500000);
    CanIntf(cards, 0, false).Reset();
    CANframe frame;
    for (int i = 0; i < 2; i++) {
        const auto start = std::chrono::steady_clock::now();
        try {
            reader.getNextFrame(frame);
            ADD_FAILURE() << "a read of a vanished card succeeded";
        } catch (const QuillonError& e) {
            EXPECT_EQ(Format("%d %s", e.code, e.message.c_str()), "11 Unknown CAN error -1");
        }
        // At least most of a time-out: a core is not kept busy (the sleep's clock and this one may
        // differ by a little).
        EXPECT_GE(std::chrono::steady_clock::now() - start,
                  std::chrono::milliseconds(CanReader::kReadTimeout / 2));
    }
}

}  // namespace
