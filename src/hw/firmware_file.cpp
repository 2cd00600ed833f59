#include "hw/firmware_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "base/utils.h"

namespace {

// Header word indexes.
constexpr int kCrcWord = 1;
constexpr int kBootWord = 2;  // version, offset, length follow for each image
constexpr int kMainWord = 5;
constexpr int kFpgaWord = 8;
constexpr int kCompatWord = 14;
constexpr unsigned kCrcStart = 8;  // the CRC covers the file from here on

uint32_t LittleWord(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t BigWord(const unsigned char* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

}  // namespace

void FirmwareFile::Load(const char* path) {
    data.reset();
    std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(path, "rb"), &std::fclose);
    if (!fp) throw FirmwareFileError(Format("Unable to open file %s for reading", path));
    long end = -1;
    if (std::fseek(fp.get(), 0, SEEK_END) == 0) end = std::ftell(fp.get());
    if (end < 0 || std::fseek(fp.get(), 0, SEEK_SET) != 0)
        throw FirmwareFileError("Error reading file");
    const auto size = static_cast<size_t>(end);
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size ? size : 1]);
    if (!buffer) throw FirmwareFileError("Error allocating memory for file");
    if (std::fread(buffer.get(), 1, size, fp.get()) != size)
        throw FirmwareFileError("Error reading file");
    if (size < kFirmwareHeaderBytes)
        throw FirmwareFileError("File is too short to be a CAN card firmware file");

    const unsigned char* bytes = buffer.get();
    const bool bigEndian = BigWord(bytes) == kFirmwareMagic;
    if (!bigEndian && LittleWord(bytes) != kFirmwareMagic)
        throw FirmwareFileError("File does not seem to be a CAN card firmware file");
    header[0] = kFirmwareMagic;
    for (int i = 1; i < 16; i++)
        header[i] = bigEndian ? BigWord(bytes + 4 * i) : LittleWord(bytes + 4 * i);

    const auto crc =
        static_cast<uint32_t>(crc32(0, bytes + kCrcStart, static_cast<uInt>(size - kCrcStart)));
    if (crc != header[kCrcWord])
        throw FirmwareFileError("File CRC doesn't match.  File may be corrupted");

    for (int i = 0; i < 4; i++)
        compat[i] = static_cast<uint16_t>(bytes[56 + 2 * i] | bytes[57 + 2 * i] << 8);
    // A file without a list is meant for the card type that its images imply.
    if (header[kCompatWord] == 0 && header[kCompatWord + 1] == 0 && header[kFpgaWord + 2] != 0)
        compat[0] = 1;

    for (int first : {kBootWord, kMainWord, kFpgaWord}) {
        const uint64_t length = header[first + 2];
        if (length && header[first + 1] + length > size)
            throw FirmwareFileError("Firmware image reaches beyond the end of the file");
    }
    data = std::move(buffer);
    dataSize = size;
}

void FirmwareFile::CheckLoaded() const {
    if (!data) throw FirmwareFileError("File has not been loaded");
}

uint32_t FirmwareFile::GetBootVersion() const {
    CheckLoaded();
    return header[kBootWord];
}

uint32_t FirmwareFile::GetMainVersion() const {
    CheckLoaded();
    return header[kMainWord];
}

uint32_t FirmwareFile::GetFpgaVersion() const {
    CheckLoaded();
    return header[kFpgaWord];
}

unsigned char* FirmwareFile::Image(int firstWord, unsigned int& len) {
    CheckLoaded();
    len = header[firstWord + 2];
    // An absent image's offset may point anywhere; it is never read.
    return data.get() + std::min<size_t>(header[firstWord + 1], dataSize);
}

unsigned char* FirmwareFile::GetBootImage(unsigned int& len) {
    return Image(kBootWord, len);
}

unsigned char* FirmwareFile::GetMainImage(unsigned int& len) {
    return Image(kMainWord, len);
}

unsigned char* FirmwareFile::GetFpgaImage(unsigned int& len) {
    return Image(kFpgaWord, len);
}

bool FirmwareFile::MeantFor(int cardType) const {
    CheckLoaded();
    // Entries of 0 are empty, but a list with nothing in it means card type 0, as a file
    // without a list and without an FPGA image is meant for it.
    bool empty = true;
    for (uint16_t type : compat) {
        if (type && type == cardType) return true;
        if (type) empty = false;
    }
    return empty && cardType == 0;
}

void CheckFirmwareCompatible(const FirmwareFile& file, int cardType) {
    if (!file.MeantFor(cardType)) throw FirmwareFileError("Firmware not compatible with card");
}
