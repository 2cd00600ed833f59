#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/progress.h"
#include "base/utils.h"
#include "hw/can_intf.h"
#include "hw/can_reader.h"
#include "hw/cards.h"
#include "hw/firmware_builder.h"
#include "hw/firmware_file.h"
#include "io/read_manager.h"
#include "sim/emulation_test_support.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Every SetMax ("max N") and Update ("value text", "-" for no text); may stop the caller.
class ProgressLog : public Progress {
  public:
    void SetMax(float max) override { steps.push_back(Format("max %.0f", max)); }
    void Update(float value, const char* text) override {
        steps.push_back(Format("%.0f %s", value, text ? text : "-"));
        if (steps.size() == stopAt) throw std::runtime_error("stopped");
    }
    size_t Count(const std::string& step) const {
        return static_cast<size_t>(std::count(steps.begin(), steps.end(), step));
    }
    std::vector<std::string> steps;
    size_t stopAt = 0;
};

FirmwareImages Images(size_t boot, size_t main, size_t fpga) {
    FirmwareImages images;
    images.bootVersion = 0x00010100;
    images.mainVersion = 0x00030204;
    images.fpgaVersion = 0x00020001;
    images.boot = PatternImage(boot, 1);
    images.main = PatternImage(main, 2);
    images.fpga = PatternImage(fpga, 3);
    return images;
}

// A little-endian file's CRC word made to fit its bytes again.
void Reseal(Bytes& file) {
    const auto crc =
        static_cast<uint32_t>(crc32(0, file.data() + 8, static_cast<uInt>(file.size() - 8)));
    for (int i = 0; i < 4; i++)
        file[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
}

Bytes Held(unsigned char* image, unsigned int len) {
    return Bytes(image, image + len);
}

class FirmwareTest : public testing::Test {
  protected:
    // Writes the bytes to a file and loads it into file; the error, "(none)" when it loaded.
    std::string Load(const Bytes& bytes) {
        WriteFile(dir.file("fw.kfw"), std::string(bytes.begin(), bytes.end()));
        return ThrownError([&] { file.Load(dir.file("fw.kfw").c_str()); });
    }
    std::string Summary() {
        unsigned int boot = 0, main = 0, fpga = 0;
        unsigned char* at = file.GetBootImage(boot);
        const long mainAt = file.GetMainImage(main) - at;
        const long fpgaAt = file.GetFpgaImage(fpga) - at;
        return Format("%08x %08x %08x %u %u@%ld %u@%ld", file.GetBootVersion(),
                      file.GetMainVersion(), file.GetFpgaVersion(), boot, main, mainAt, fpga,
                      fpgaAt);
    }

    // A card of type 256 (port 0) and a type 1 card with boot loader 0x00010100 (port 1); keys
    // go to the first.
    void Install(const std::string& keys) {
        cards.reset();
        driver = DriverFrom(
            dir.path(), Block("Bus", "bitrate:500000\n") +
                            Block("Card", "type:256\n" + keys + Block("Port", "bus:0\n")) +
                            Block("Card", "type:1\nboot:0x00010100\n" + Block("Port", "bus:0\n")));
        recorder = std::make_unique<Recorder>(*driver);
        cards = std::make_unique<Cards>(recorder.get(), SocketCanPorts::LeftOut);
    }
    std::unique_ptr<CanIntf> Port(int number) {
        auto port = std::make_unique<CanIntf>(*cards, number, false);
        port->SetRetryPause(std::chrono::milliseconds(0));
        return port;
    }
    // Word 0 of each command sent since the recorder was cleared.
    std::vector<std::string> Words0() const {
        std::vector<std::string> words;
        for (const std::string& call : recorder->calls) words.push_back(call.substr(9, 8));
        return words;
    }

    TempDir dir;
    FirmwareFile file;
    std::unique_ptr<EmulatedDriver> driver;
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<Cards> cards;  // first to go
};

}  // namespace

TEST_F(FirmwareTest, BigEndianTwinReadsLikeTheLittleEndianFile) {
    FirmwareImages images = Images(8, 16, 12);
    images.compat = {256, 1, 0, 0};
    ASSERT_EQ(Load(BuildFirmwareFile(images)), "(none)");
    const std::string little = Summary();
    EXPECT_EQ(little, "00010100 00030204 00020001 8 16@8 12@24");
    images.bigEndian = true;
    const Bytes big = BuildFirmwareFile(images);
    EXPECT_EQ(Bytes(big.begin(), big.begin() + 4), (Bytes{0xE1, 0xCA, 0x05, 0x50}));
    ASSERT_EQ(Load(big), "(none)");
    EXPECT_EQ(Summary(), little);
    unsigned int len = 0;
    unsigned char* fpga = file.GetFpgaImage(len);
    EXPECT_EQ(Held(fpga, len), images.fpga);
    EXPECT_TRUE(file.MeantFor(256) && file.MeantFor(1) && !file.MeantFor(0));
}

TEST_F(FirmwareTest, DamagedFilesRefused) {
    EXPECT_EQ(ThrownError([&] { file.GetMainVersion(); }), "21 File has not been loaded");
    EXPECT_EQ(ThrownError([&] { file.Load("/nonexistent/fw.kfw"); }),
              "21 Unable to open file /nonexistent/fw.kfw for reading");
    const Bytes good = BuildFirmwareFile(Images(4, 8, 0));
    for (bool bigEndian : {false, true}) {
        FirmwareImages images = Images(4, 8, 0);
        images.bigEndian = bigEndian;
        Bytes changed = BuildFirmwareFile(images);
        changed[8] ^= 1;
        EXPECT_EQ(Load(changed), "21 File CRC doesn't match.  File may be corrupted");
    }
    Bytes changed = good;
    changed.back() ^= 0x80;
    EXPECT_EQ(Load(changed), "21 File CRC doesn't match.  File may be corrupted");
    changed = good;
    changed[1] = 0x06;
    EXPECT_EQ(Load(changed), "21 File does not seem to be a CAN card firmware file");
    EXPECT_EQ(Load(Bytes(good.begin(), good.begin() + 63)),
              "21 File is too short to be a CAN card firmware file");
    EXPECT_EQ(Load({}), "21 File is too short to be a CAN card firmware file");
    changed = good;
    changed[28] = 12;  // the main image's length, 4 bytes longer than the file holds
    Reseal(changed);
    EXPECT_EQ(Load(changed), "21 Firmware image reaches beyond the end of the file");
    changed = good;
    std::fill(changed.begin() + 24, changed.begin() + 28, 0xFF);  // an offset that wraps around
    Reseal(changed);
    EXPECT_EQ(Load(changed), "21 Firmware image reaches beyond the end of the file");
    // A failed load leaves nothing loaded.
    EXPECT_EQ(ThrownError([&] { file.GetBootVersion(); }), "21 File has not been loaded");
}

TEST_F(FirmwareTest, WithoutAListTheFpgaImageDecidesTheCard) {
    ASSERT_EQ(Load(BuildFirmwareFile(Images(4, 8, 4))), "(none)");
    EXPECT_TRUE(file.MeantFor(1));
    EXPECT_EQ(ThrownError([&] { CheckFirmwareCompatible(file, 0); }),
              "21 Firmware not compatible with card");
    ASSERT_EQ(Load(BuildFirmwareFile(Images(4, 8, 0))), "(none)");
    EXPECT_EQ(ThrownError([&] { CheckFirmwareCompatible(file, 0); }), "(none)");
    EXPECT_FALSE(file.MeantFor(1));
}

TEST_F(FirmwareTest, WordsGoInCommandsOfAtMost63) {
    Install("");
    auto port = Port(0);
    Bytes image = PatternImage(256, 7);
    auto word = [&](size_t at) {
        return Format("%02x%02x%02x%02x", image[at], image[at + 1], image[at + 2], image[at + 3]);
    };
    ProgressLog log;
    recorder->calls.clear();
    port->Dnld(kMainImageId, image.data(), 252, &log, 100);
    const auto crc252 = static_cast<uint32_t>(crc32(0, image.data(), 252));
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{
                                   "c008b706 00060001 5a93c07e", "c008b706 0007003f " + word(0),
                                   Format("c008b706 00072001 %08x", crc252)}));
    EXPECT_EQ(log.steps, (std::vector<std::string>{"100 Erasing flash", "100 Downloading", "352 -",
                                                   "352 Verifying"}));
    EXPECT_EQ(driver->Flash(0, kMainImageId), Bytes(image.begin(), image.begin() + 252));

    recorder->calls.clear();
    log.steps.clear();
    port->Dnld(kFpgaImageId, image.data(), 256, &log, 0);
    EXPECT_EQ(Words0(), (std::vector<std::string>{"00060001", "0007003f", "00070001", "00072001"}));
    EXPECT_EQ(recorder->calls[2], "c008b706 00070001 " + word(252));
    EXPECT_EQ(log.steps, (std::vector<std::string>{"0 Erasing flash", "0 Downloading", "252 -",
                                                   "256 -", "256 Verifying"}));
    EXPECT_EQ(driver->Flash(0, kFpgaImageId), image);

    recorder->calls.clear();
    EXPECT_EQ(ThrownError([&] { port->Dnld(kMainImageId, image.data(), 6, &log, 0); }),
              "1 Firmware byte count (6) must be a multiple of 4");
    EXPECT_TRUE(recorder->calls.empty());
    EXPECT_EQ(driver->Flash(0, kMainImageId).size(), 252u);
}

TEST_F(FirmwareTest, BootLoaderSkippedWhenTheCardHasItsVersion) {
    Install("");
    const FirmwareImages images = Images(8, 16, 12);
    ASSERT_EQ(Load(BuildFirmwareFile(images)), "(none)");
    ProgressLog log;
    recorder->calls.clear();
    Port(1)->DnldFirmware(file, &log);  // type 1, boot loader 0x00010100 in word 2
    const std::vector<std::string> words = Words0();
    ASSERT_GT(words.size(), 11u);
    // After the card information: the unlock, the boot loader version, then the main program.
    EXPECT_EQ(recorder->calls[9], "c008b706 00080001 3c96a5e1");
    EXPECT_EQ(recorder->calls[10], "c008b706 00050000 00000000");
    EXPECT_EQ(recorder->calls[11], "c008b706 00060001 5a93c07e");
    EXPECT_EQ(log.steps.front(), "max 28");
    EXPECT_EQ(driver->Flash(1, kMainImageId), images.main);
    EXPECT_EQ(driver->Flash(1, kFpgaImageId), images.fpga);
    EXPECT_TRUE(driver->Flash(1, kBootImageId).empty());

    // Other cards give their boot loader version in word 1, here 256: not the file's.
    log.steps.clear();
    recorder->calls.clear();
    Port(0)->DnldFirmware(file, &log);
    EXPECT_EQ(log.steps.front(), "max 36");
    EXPECT_EQ(recorder->calls[10], "c008b706 00050000 00000000");  // no unlock for type 256
    EXPECT_EQ(recorder->calls[11], "c008b706 00060001 7d41e2b6");
    EXPECT_EQ(driver->Flash(0, kBootImageId), images.boot);
    EXPECT_EQ(log.steps.back(), "36 Verifying");
}

TEST_F(FirmwareTest, BusyAnswersAndFailedChecksRetried) {
    Install("busy_every:4\nverify_fail_every:2\n");
    auto port = Port(0);
    Bytes image = PatternImage(252, 5);
    ProgressLog log;
    // Commands 1-3 and the first verification pass; then command 4 is busy, the second
    // verification fails and command 8 is busy before an attempt gets through.
    port->Dnld(kMainImageId, image.data(), 252, &log, 0);
    EXPECT_EQ(log.Count("0 CAN card busy error") + log.Count("252 CRC check failed, retrying"), 0u);
    port->Dnld(kMainImageId, image.data(), 252, &log, 0);
    EXPECT_EQ(log.Count("0 CAN card busy error"), 2u);
    EXPECT_EQ(log.Count("252 CRC check failed, retrying"), 1u);
    EXPECT_EQ(log.steps.back(), "252 Verifying");
    EXPECT_EQ(driver->Flash(0, kMainImageId), image);
}

TEST_F(FirmwareTest, TenFailuresReportedAndTheNextImageFollows) {
    Install("verify_fail_every:1\n");
    const FirmwareImages images = Images(0, 16, 8);
    ASSERT_EQ(Load(BuildFirmwareFile(images)), "(none)");
    ProgressLog log;
    recorder->calls.clear();
    auto port = Port(0);
    port->DnldFirmware(file, &log);
    EXPECT_EQ(log.Count("16 CRC check failed, retrying"), 10u);
    EXPECT_EQ(log.Count("24 CRC check failed, retrying"), 10u);
    EXPECT_EQ(log.Count("16 Error, unable to upload firmware to card"), 1u);
    EXPECT_EQ(log.steps.back(), "24 Error, unable to upload firmware to card");
    EXPECT_EQ(
        std::count(recorder->calls.begin(), recorder->calls.end(), "c008b706 00060001 2eb8d453"),
        10);
    EXPECT_EQ(driver->Flash(0, kFpgaImageId), images.fpga);
    EXPECT_EQ(port->getCardInfo().param12, 1);
}

TEST_F(FirmwareTest, UpdateStoppedHalfWayLeavesTheFailedFlag) {
    Install("");
    const FirmwareImages images = Images(8, 300, 40);
    ASSERT_EQ(Load(BuildFirmwareFile(images)), "(none)");
    auto port = Port(0);
    ProgressLog log;
    log.stopAt = 4;  // the boot loader erased and its first words written
    EXPECT_THROW(port->DnldFirmware(file, &log), std::runtime_error);
    EXPECT_EQ(port->getCardInfo().param12, 1);
    ProgressLog whole;
    port->DnldFirmware(file, &whole);
    EXPECT_EQ(port->getCardInfo().param12, 0);
    EXPECT_EQ(driver->Flash(0, kBootImageId), images.boot);
    EXPECT_EQ(driver->Flash(0, kMainImageId), images.main);
    EXPECT_EQ(driver->Flash(0, kFpgaImageId), images.fpga);
}

TEST(DemoFirmware, FitsBothDemoCards) {
    FirmwareFile file;
    file.Load(EXAMPLES_DIR "/demo_firmware.kfw");
    CheckFirmwareCompatible(file, 256);
    CheckFirmwareCompatible(file, 1);
    auto driver = EmulatedDriver::Create("demo");
    Cards cards(driver.get(), SocketCanPorts::LeftOut);
    CanIntf port(cards, 2, false);  // the type 1 card, whose boot loader is the file's
    port.SetRetryPause(std::chrono::milliseconds(0));
    ProgressLog log;
    port.DnldFirmware(file, &log);
    unsigned int len = 0;
    unsigned char* main = file.GetMainImage(len);
    EXPECT_EQ(driver->Flash(2, kMainImageId), Held(main, len));
    EXPECT_EQ(log.steps.front(), Format("max %u", len + 2048));
    EXPECT_EQ(log.steps.back(), Format("%u Verifying", len + 2048));
}

// A download runs on the GUI thread; the readers of other ports go on beside it and lose
// nothing. The download is repeated until the flood has arrived, so that the two overlap; the
// receive queue holds the whole flood, so that a slow machine cannot make the test fail.
TEST(FirmwareDownload, ReadersOfOtherPortsLoseNothing) {
    constexpr int kFrames = 20000;
    TempDir dir;
    auto driver = DriverFrom(
        dir.path(), Block("Bus", "bitrate:1000000\n" + Block("Flood", "count:20000\n")) +
                        Block("Bus", "bitrate:500000\n") +
                        Block("Card", "serial:1\n" + Block("Port", "bus:1\n")) +
                        Block("Card", "serial:2\n" + Block("Port", "bus:0\nqueue:32768\n")));
    Cards cards(driver.get(), SocketCanPorts::LeftOut);
    FirmwareImages images = Images(0, 256 * 1024, 0);
    images.compat = {256, 0, 0, 0};
    const Bytes bytes = BuildFirmwareFile(images);
    WriteFile(dir.file("fw.kfw"), std::string(bytes.begin(), bytes.end()));
    FirmwareFile file;
    file.Load(dir.file("fw.kfw").c_str());

    MsgStore store(kFrames + 1000);
    CanPortOpener ports(cards);
    ReadManager readers(nullptr, &ports);
    readers.SetStore(&store);
    readers.SetStartTime();
    readers.ReadCanIntf(1, 0);  // the flooded bus's port, at its 1 Mbit/s
    CanIntf card(cards, 0, false);
    int downloads = 0;
    const auto delivered = [&] {
        const EmulatedDriver::PortCounters c = driver->Counters(1);
        return c.received + c.overruns;
    };
    for (; delivered() < kFrames; downloads++) {
        ProgressLog progress;
        card.DnldFirmware(file, &progress);
        ASSERT_EQ(progress.Count("262144 CRC check failed, retrying"), 0u);
    }
    // The bus has carried the whole flood; the reader empties its queue.
    const auto received = [&] { return static_cast<int>(driver->Counters(1).received); };
    EXPECT_TRUE(WaitUntil([&] { return store.GetLast() + 1 >= received(); }))
        << "frames stored: " << store.GetLast() + 1 << " of " << received();
    readers.StopAll();
    EXPECT_GT(downloads, 0);
    ASSERT_EQ(driver->Counters(1).overruns, 0u);
    CANframe frame;
    for (int i = 0; i < kFrames; i++) {
        ASSERT_TRUE(store.Get(i, frame));
        ASSERT_EQ(frame.data[0] | frame.data[1] << 8 | frame.data[2] << 16, i);
    }
}
