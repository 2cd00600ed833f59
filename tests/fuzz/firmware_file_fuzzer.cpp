// Fuzz target: any bytes as a firmware file, checked as they are and again with the CRC-32 that
// their header should hold (so that the checks past it are reached too); a file that passes gives
// its images, which must lie inside it, follow the rules of their kind and include a main
// program.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "hw/firmware_file.h"

namespace {

void Check(const uint8_t* data, size_t size) {
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[size ? size : 1]);
    if (size) std::memcpy(bytes.get(), data, size);
    const unsigned char* start = bytes.get();
    FirmwareFile file;
    try {
        file.Parse(std::move(bytes), size);
    } catch (const FirmwareFileError&) {
        return;
    }
    const uint32_t ids[3] = {kBootImageId, kMainImageId, kFpgaImageId};
    unsigned int lengths[3] = {};
    const unsigned char* images[3] = {file.GetBootImage(lengths[0]), file.GetMainImage(lengths[1]),
                                      file.GetFpgaImage(lengths[2])};
    if (lengths[1] == 0) std::abort();
    for (int i = 0; i < 3; i++) {
        if (lengths[i] % 4 || lengths[i] > ImageCapacity(ids[i])) std::abort();
        if (lengths[i] && (images[i] < start || images[i] + lengths[i] > start + size))
            std::abort();
        crc32(0, images[i], lengths[i]);  // every byte read, as the download reads them
    }
    file.MeantFor(1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(data, size);
    if (size < kFirmwareHeaderBytes) return 0;
    std::vector<uint8_t> fixed(data, data + size);
    const auto crc = static_cast<uint32_t>(crc32(0, fixed.data() + 8, static_cast<uInt>(size - 8)));
    const bool bigEndian = fixed[0] == 0xE1;
    for (int i = 0; i < 4; i++)
        fixed[4 + static_cast<size_t>(i)] =
            static_cast<uint8_t>(crc >> (bigEndian ? 24 - 8 * i : 8 * i));
    Check(fixed.data(), size);
    return 0;
}
