#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// What a firmware file is made of, for our own tool and the tests: no card maker's file needed.
struct FirmwareImages {
    uint32_t bootVersion = 0;
    uint32_t mainVersion = 0;
    uint32_t fpgaVersion = 0;
    std::vector<uint8_t> boot, main, fpga;  // empty: the image is absent
    std::array<uint16_t, 4> compat{};       // card types; all 0 for no list
    bool bigEndian = false;
};

// The bytes of a firmware file: the header, then the boot, main and FPGA images in this order.
std::vector<uint8_t> BuildFirmwareFile(const FirmwareImages& images);
// len deterministic bytes that differ with seed, so that images tell apart.
std::vector<uint8_t> PatternImage(size_t len, uint32_t seed);
