// Fuzz target: any bytes as a firmware file, checked; a file that passes gives its images, which
// must lie inside it, follow the rules of their kind and include a main program.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "hw/firmware_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[size ? size : 1]);
    if (size) std::memcpy(bytes.get(), data, size);
    const unsigned char* start = bytes.get();
    FirmwareFile file;
    try {
        file.Parse(std::move(bytes), size);
    } catch (const FirmwareFileError&) {
        return 0;
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
        // Every byte read, as the download reads them.
        const std::vector<unsigned char> copy(images[i], images[i] + lengths[i]);
        if (!copy.empty() && copy.size() != lengths[i]) std::abort();
    }
    file.MeantFor(1);
    return 0;
}
