#include <gtest/gtest.h>

#include <string>

#include "base/utils.h"
#include "hw/firmware_file.h"
#include "support/test_support.h"

TEST(MakeFirmware, WritesAFileTheLoaderReads) {
    TempDir dir;
    const std::string path = dir.file("fw.kfw");
    ProcessResult r = RunProcess({QUILLON_MAKE_FIRMWARE_BIN, "-o", path, "--big-endian",
                                  "--boot-size", "8", "--boot-version", "0x00010203", "--main-size",
                                  "4096", "--main-version", "0x00030000", "--compat", "259,1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    FirmwareFile file;
    file.Load(path.c_str());
    unsigned int boot = 0, main = 0, fpga = 0;
    file.GetBootImage(boot);
    file.GetMainImage(main);
    file.GetFpgaImage(fpga);
    EXPECT_EQ(Format("%08x %08x %u %u %u", file.GetBootVersion(), file.GetMainVersion(), boot, main,
                     fpga),
              "00010203 00030000 8 4096 0");
    EXPECT_TRUE(file.MeantFor(259) && file.MeantFor(1) && !file.MeantFor(0));

    r = RunProcess({QUILLON_MAKE_FIRMWARE_BIN, "-o", path, "--compat", "1,2,3,4,5"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.substr(0, 52), "quillon-make-firmware: bad value: 1,2,3,4,5\nUsage: q");
}
