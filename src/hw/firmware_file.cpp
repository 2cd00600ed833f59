#include "hw/firmware_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// Whether a file's first word marks it big-endian; throws when it marks no firmware file.
bool BigEndianFile(const unsigned char* bytes) {
    if (BigWord(bytes) == kFirmwareMagic) return true;
    if (LittleWord(bytes) != kFirmwareMagic)
        throw FirmwareFileError("File does not seem to be a CAN card firmware file");
    return false;
}

// Refuses a file of size bytes whose first bytes (available of them) are not a firmware file's,
// that cannot hold a header or that is larger than any firmware file; whether it is big-endian.
bool CheckStart(const unsigned char* bytes, size_t available, uint64_t size) {
    // The magic number first, so that any other file is named for what it is, whatever its size.
    const bool bigEndian = available >= 4 && BigEndianFile(bytes);
    if (size < kFirmwareHeaderBytes)
        throw FirmwareFileError("File is too short to be a CAN card firmware file");
    if (size > kMaxFirmwareFileBytes)
        throw FirmwareFileError(
            Format("File is too large to be a CAN card firmware file (%llu bytes, at most %llu)",
                   static_cast<unsigned long long>(size),
                   static_cast<unsigned long long>(kMaxFirmwareFileBytes)));
    return bigEndian;
}

}  // namespace

void FirmwareFile::Load(const char* path) {
    data.reset();
    dataSize = 0;
    // Without waiting for a writer, should the path name a pipe.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    std::unique_ptr<FILE, int (*)(FILE*)> fp(fd < 0 ? nullptr : fdopen(fd, "rb"), &std::fclose);
    if (!fp) {
        if (fd >= 0) close(fd);
        throw FirmwareFileError(Format("Unable to open file %s for reading", path));
    }
    struct stat status;
    if (fstat(fd, &status) != 0) throw FirmwareFileError("Error reading file");
    if (S_ISDIR(status.st_mode))
        throw FirmwareFileError(Format("%s is a folder, not a firmware file", path));
    if (!S_ISREG(status.st_mode)) throw FirmwareFileError(Format("%s is not a regular file", path));
    const auto size = static_cast<uint64_t>(status.st_size);
    unsigned char head[kFirmwareHeaderBytes];
    const size_t headSize = std::fread(head, 1, sizeof head, fp.get());
    if (std::ferror(fp.get())) throw FirmwareFileError("Error reading file");
    CheckStart(head, headSize, size);

    // Nothing larger than the largest firmware file is read.
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]);
    if (!buffer) throw FirmwareFileError("Error allocating memory for file");
    std::memcpy(buffer.get(), head, headSize);
    if (headSize != kFirmwareHeaderBytes ||
        std::fread(buffer.get() + headSize, 1, size - headSize, fp.get()) != size - headSize)
        throw FirmwareFileError("Error reading file");
    Parse(std::move(buffer), size);
}

void FirmwareFile::Parse(std::unique_ptr<unsigned char[]> bytes, size_t size) {
    data.reset();
    dataSize = 0;
    const unsigned char* file = bytes.get();
    const bool bigEndian = CheckStart(file, size, size);
    header[0] = kFirmwareMagic;
    for (int i = 1; i < 16; i++)
        header[i] = bigEndian ? BigWord(file + 4 * i) : LittleWord(file + 4 * i);

    const auto crc =
        static_cast<uint32_t>(crc32(0, file + kCrcStart, static_cast<uInt>(size - kCrcStart)));
    if (crc != header[kCrcWord])
        throw FirmwareFileError("File CRC doesn't match.  File may be corrupted");

    for (int i = 0; i < 4; i++)
        compat[i] = static_cast<uint16_t>(file[56 + 2 * i] | file[57 + 2 * i] << 8);
    // A file without a list is meant for the card type that its images imply.
    if (header[kCompatWord] == 0 && header[kCompatWord + 1] == 0 && header[kFpgaWord + 2] != 0)
        compat[0] = 1;

    // Every image's rules before anything is downloaded: a fault found during the download
    // would leave the images before it written and the card's main program erased.
    const struct {
        int firstWord;
        uint32_t imageId;
        const char* name;
    } images[] = {{kBootWord, kBootImageId, "boot loader"},
                  {kMainWord, kMainImageId, "main program"},
                  {kFpgaWord, kFpgaImageId, "FPGA"}};
    for (const auto& image : images) {
        const uint32_t length = header[image.firstWord + 2];
        if (length == 0) continue;
        if (uint64_t{header[image.firstWord + 1]} + length > size)
            throw FirmwareFileError("Firmware image reaches beyond the end of the file");
        if (length % 4)
            throw FirmwareFileError(Format("Firmware byte count (%d) must be a multiple of 4",
                                           static_cast<int>(length)));
        if (length > ImageCapacity(image.imageId))
            throw FirmwareFileError(
                Format("The %s image (%u bytes) is larger than a card's flash for it (%u bytes)",
                       image.name, length, ImageCapacity(image.imageId)));
    }
    if (header[kMainWord + 2] == 0)
        throw FirmwareFileError(
            "Firmware file has no main program image: the card would be left without one");
    data = std::move(bytes);
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
