#include "hw/firmware_builder.h"

#include <zlib.h>

#include "hw/firmware_file.h"

namespace {

void PutWord(std::vector<uint8_t>& file, size_t at, uint32_t word, bool bigEndian) {
    for (int i = 0; i < 4; i++) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        file[at + static_cast<size_t>(i)] = static_cast<uint8_t>(word >> shift);
    }
}

}  // namespace

std::vector<uint8_t> BuildFirmwareFile(const FirmwareImages& images) {
    std::vector<uint8_t> file(kFirmwareHeaderBytes);
    PutWord(file, 0, kFirmwareMagic, images.bigEndian);
    size_t at = 8;
    auto image = [&](uint32_t version, const std::vector<uint8_t>& bytes) {
        PutWord(file, at, version, images.bigEndian);
        PutWord(file, at + 4, bytes.empty() ? 0 : static_cast<uint32_t>(file.size()),
                images.bigEndian);
        PutWord(file, at + 8, static_cast<uint32_t>(bytes.size()), images.bigEndian);
        file.insert(file.end(), bytes.begin(), bytes.end());
        at += 12;
    };
    image(images.bootVersion, images.boot);
    image(images.mainVersion, images.main);
    image(images.fpgaVersion, images.fpga);
    for (size_t i = 0; i < 4; i++) {  // always little-endian
        file[56 + 2 * i] = static_cast<uint8_t>(images.compat[i]);
        file[57 + 2 * i] = static_cast<uint8_t>(images.compat[i] >> 8);
    }
    const auto crc =
        static_cast<uint32_t>(crc32(0, file.data() + 8, static_cast<uInt>(file.size() - 8)));
    PutWord(file, 4, crc, images.bigEndian);
    return file;
}

std::vector<uint8_t> PatternImage(size_t len, uint32_t seed) {
    std::vector<uint8_t> bytes(len);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        x = x * 1664525u + 1013904223u;  // a linear congruential sequence
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}
