#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/progress.h"
#include "hw/firmware_builder.h"
#include "hw/firmware_file.h"
#include "hw/hw_test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// SetMax as "max N", Update as "value text" ("-" without text) into lines; throws at stopAt.
class ProgressLog : public Progress {
  public:
    explicit ProgressLog(std::vector<std::string>& lines) : lines(lines) {}
    void SetMax(float max) override { lines.push_back(Format("max %.0f", max)); }
    void Update(float value, const char* text) override {
        lines.push_back(Format("%.0f %s", value, text ? text : "-"));
        if (++updates == stopAt) throw std::runtime_error("stopped");
    }
    std::vector<std::string>& lines;
    size_t updates = 0, stopAt = 0;
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

class FirmwareTest : public testing::Test, public EmulatedCards {
  protected:
    FirmwareTest() : EmulatedCards(HW_DATA_DIR "/firmware_cards.cfg") {}
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

    std::unique_ptr<CanIntf> Port(int number) {
        auto port = std::make_unique<CanIntf>(cards, number, false);
        port->SetRetryPause(std::chrono::milliseconds(0));
        return port;
    }

    TempDir dir;
    FirmwareFile file;
    ProgressLog log{recorder.calls};
};

}  // namespace

// The big-endian twin of a file reads like the little-endian one.
TEST_F(FirmwareTest, ImagesAndTheCardsTheyAreMeantFor) {
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
    EXPECT_EQ(Bytes(fpga, fpga + len), images.fpga);
    EXPECT_TRUE(file.MeantFor(256) && file.MeantFor(1) && !file.MeantFor(0));
    // Without a list the FPGA image decides the card.
    ASSERT_EQ(Load(BuildFirmwareFile(Images(4, 8, 4))), "(none)");
    EXPECT_TRUE(file.MeantFor(1));
    EXPECT_EQ(ThrownError([&] { CheckFirmwareCompatible(file, 0); }),
              "21 Firmware not compatible with card");
    ASSERT_EQ(Load(BuildFirmwareFile(Images(4, 8, 0))), "(none)");
    EXPECT_EQ(ThrownError([&] { CheckFirmwareCompatible(file, 0); }), "(none)");
    EXPECT_FALSE(file.MeantFor(1));
}

// The files of data/firmware/, intact or damaged, one a line of loads.txt with the error that
// loading it gives; the intact one is the file that the builder makes.
TEST_F(FirmwareTest, DamagedFilesRefused) {
    const std::string data = HW_DATA_DIR "/firmware/";
    const Bytes good = BuildFirmwareFile(Images(4, 8, 0));
    EXPECT_EQ(ReadFile(data + "good.kfw"), std::string(good.begin(), good.end()));
    EXPECT_EQ(ThrownError([&] { file.GetMainVersion(); }), "21 File has not been loaded");
    EXPECT_EQ(ThrownError([&] { file.Load("/nonexistent/fw.kfw"); }),
              "21 Unable to open file /nonexistent/fw.kfw for reading");
    const std::string list = ReadFile(data + "loads.txt");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 10);
    std::istringstream loads(list);
    for (std::string name, error; loads >> name && std::getline(loads >> std::ws, error);)
        EXPECT_EQ(ThrownError([&] { file.Load((data + name).c_str()); }), error) << name;
    // A failed load leaves nothing loaded.
    EXPECT_EQ(ThrownError([&] { file.GetBootVersion(); }), "21 File has not been loaded");
}

// Files that would harm the card are refused whole, with the reason, before any of their images
// could reach it: images that break the rules (the rows of data/firmware/images.txt), a file
// larger than any firmware file (read no further than its header), or not a file at all.
TEST_F(FirmwareTest, FilesThatWouldHarmTheCardRefused) {
    std::istringstream cases(ReadFile(HW_DATA_DIR "/firmware/images.txt"));
    int rows = 0;
    for (std::string line; std::getline(cases, line);) {
        if (line[0] == '#') continue;
        std::istringstream fields(line);
        size_t boot, main, fpga;
        std::string error;
        fields >> boot >> main >> fpga >> std::ws;
        std::getline(fields, error);
        EXPECT_EQ(Load(BuildFirmwareFile(Images(boot, main, fpga))), error) << line;
        rows++;
    }
    EXPECT_EQ(rows, 13);

    // A file one word larger than the largest firmware file, its header intact: refused on its
    // size, unread (its bytes after the header hold nothing, the file system makes them up).
    const std::string big = dir.file("big.kfw");
    const Bytes good = BuildFirmwareFile(Images(4, 8, 0));
    WriteFile(big, std::string(good.begin(), good.end()));
    ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(kMaxFirmwareFileBytes + 4)), 0);
    EXPECT_EQ(ThrownError([&] { file.Load(big.c_str()); }),
              "21 File is too large to be a CAN card firmware file (2162756 bytes, at most "
              "2162752)");
    // What is not a file is named, not read (a pipe without writer would block the reading).
    EXPECT_EQ(ThrownError([&] { file.Load(dir.path().c_str()); }),
              "21 " + dir.path() + " is a folder, not a firmware file");
    const std::string pipe = dir.file("pipe.kfw");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(ThrownError([&] { file.Load(pipe.c_str()); }),
              "21 " + pipe + " is not a regular file");
    EXPECT_EQ(ThrownError([&] { file.GetMainVersion(); }), "21 File has not been loaded");
}

// A card that has its main program erased runs its boot loader alone: no firmware version, no
// port, and the failed update flagged, also after an image of no bytes verifies; a main program
// written whole and verified brings the port back and clears the flag.
TEST_F(FirmwareTest, AnErasedMainProgramIsGoneUntilOneIsWritten) {
    auto port = Port(0);
    const Bytes image = PatternImage(64, 5);
    const auto state = [&] {
        const CardInfo info = port->getCardInfo();
        return Format("firmware %s flag %d", info.fwVersion.c_str(), info.param12) +
               " open: " + ThrownError([&] {
                   port->open();
                   port->close();
               });
    };
    Transcript t;
    t("as described", state);
    t("main program of no bytes", [&] { port->Dnld(kMainImageId, nullptr, 0, &log, 0); });
    t("then", state);
    t("FPGA image written",
      [&] { port->Dnld(kFpgaImageId, const_cast<uint8_t*>(image.data()), 64, &log, 0); });
    t("then", state);
    t("main program written",
      [&] { port->Dnld(kMainImageId, const_cast<uint8_t*>(image.data()), 64, &log, 0); });
    t("then", state);
    ExpectGolden(HW_DATA_DIR "/firmware_erased_main.txt", t.text);
}

// The flash of each image holds no more than the largest image of its kind: a write beyond is
// refused as a bad parameter.
TEST_F(FirmwareTest, TheFlashHoldsNoMoreThanItsImage) {
    auto port = Port(0);
    const Bytes image = PatternImage(kMaxBootImageBytes + 4, 6);
    auto* bytes = const_cast<uint8_t*>(image.data());
    port->Dnld(kBootImageId, bytes, kMaxBootImageBytes, &log, 0);
    EXPECT_EQ(driver->Flash(0, kBootImageId), Bytes(image.begin(), image.end() - 4));
    recorder.calls.clear();
    log.lines.clear();
    EXPECT_EQ(
        ThrownError([&] { port->Dnld(kBootImageId, bytes, kMaxBootImageBytes + 4, &log, 0); }),
        "1 Error, unable to upload firmware to card");
    EXPECT_EQ(log.lines.back(), "65540 Error, unable to upload firmware to card");
    EXPECT_EQ(
        std::count(log.lines.begin(), log.lines.end(), "0 CAN driver reported a bad parameter"),
        10);
}

// Each download's commands (their first two words) and progress lines in the order they came: at
// most 63 words a command, the progress from the given base; the boot loader skipped where the
// card has its version (a type 1 card gives it in word 2, after an unlock; others in word 1, here
// 256: not the file's); busy answers and failed checks retried; ten failures end the update
// with its error, the images after it untouched; an update stopped half-way leaves the failed
// flag; a file without an FPGA image leaves the card's as it is.
TEST_F(FirmwareTest, DownloadsAsTheCardsSeeThem) {
    Bytes image = PatternImage(256, 7);
    const Bytes head(image.begin(), image.begin() + 252);
    const FirmwareImages images = Images(8, 16, 12);
    ASSERT_EQ(Load(BuildFirmwareFile(images)), "(none)");
    auto plain = Port(0), busy = Port(2), failing = Port(3);
    unsigned char* bytes = image.data();
    Transcript t(&recorder.calls);
    t("main image, 252 bytes, from 100", [&] { plain->Dnld(kMainImageId, bytes, 252, &log, 100); });
    t("crc", [&] { return Format("%08x", static_cast<uint32_t>(crc32(0, bytes, 252))); });
    EXPECT_EQ(driver->Flash(0, kMainImageId), head);
    t("FPGA image, 256 bytes", [&] { plain->Dnld(kFpgaImageId, bytes, 256, &log, 0); });
    EXPECT_EQ(driver->Flash(0, kFpgaImageId), image);
    t("main image, 6 bytes", [&] { plain->Dnld(kMainImageId, bytes, 6, &log, 0); });
    EXPECT_EQ(driver->Flash(0, kMainImageId), head);
    t("firmware to the type 1 card", [&] { Port(1)->DnldFirmware(file, &log); });
    EXPECT_EQ(driver->Flash(1, kMainImageId), images.main);
    EXPECT_EQ(driver->Flash(1, kFpgaImageId), images.fpga);
    EXPECT_TRUE(driver->Flash(1, kBootImageId).empty());
    t("firmware to the type 256 card", [&] { plain->DnldFirmware(file, &log); });
    EXPECT_EQ(driver->Flash(0, kBootImageId), images.boot);
    for (int i = 0; i < 2; i++)
        t("main image to the busy card", [&] { busy->Dnld(kMainImageId, bytes, 252, &log, 0); });
    EXPECT_EQ(driver->Flash(2, kMainImageId), head);
    t("firmware to the failing card", [&] { failing->DnldFirmware(file, &log); });
    EXPECT_TRUE(driver->Flash(3, kMainImageId).empty() && driver->Flash(3, kFpgaImageId).empty());
    EXPECT_EQ(failing->getCardInfo().param12, 1);
    ExpectGolden(HW_DATA_DIR "/firmware_downloads.txt", t.text);

    // An update stopped half-way leaves the failed flag until a whole one.
    log.stopAt = log.updates + 3;  // the boot loader erased and its first words written
    EXPECT_THROW(plain->DnldFirmware(file, &log), std::runtime_error);
    EXPECT_EQ(plain->getCardInfo().param12, 1);
    log.stopAt = 0;
    plain->DnldFirmware(file, &log);
    EXPECT_EQ(plain->getCardInfo().param12, 0);
    EXPECT_EQ(driver->Flash(0, kBootImageId), images.boot);
    EXPECT_EQ(driver->Flash(0, kMainImageId), images.main);

    const FirmwareImages noFpga = Images(8, 20, 0);
    ASSERT_EQ(Load(BuildFirmwareFile(noFpga)), "(none)");
    plain->DnldFirmware(file, &log);
    EXPECT_EQ(driver->Flash(0, kMainImageId), noFpga.main);
    EXPECT_EQ(driver->Flash(0, kFpgaImageId), images.fpga);
}

TEST(DemoFirmware, FitsBothDemoCards) {
    FirmwareFile file;
    file.Load(EXAMPLES_DIR "/demo_firmware.kfw");
    CheckFirmwareCompatible(file, 256);
    CheckFirmwareCompatible(file, 1);
    EmulatedCards demo("demo");
    CanIntf port(demo.cards, 2, false);  // the type 1 card, whose boot loader is the file's
    port.SetRetryPause(std::chrono::milliseconds(0));
    std::vector<std::string> steps;
    ProgressLog log(steps);
    port.DnldFirmware(file, &log);
    unsigned int len = 0;
    unsigned char* main = file.GetMainImage(len);
    EXPECT_EQ(demo.driver->Flash(2, kMainImageId), Bytes(main, main + len));
    EXPECT_EQ(steps.front(), Format("max %u", len + 2048));
    EXPECT_EQ(steps.back(), Format("%u Verifying", len + 2048));
}
