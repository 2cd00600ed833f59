#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/quillon_error.h"
#include "hw/card_protocol.h"

// Magic word of a firmware file as its little-endian header reads it.
constexpr uint32_t kFirmwareMagic = 0xE1CA0550;
constexpr unsigned kFirmwareHeaderBytes = 64;

// Every failure to load or use a firmware file.
struct FirmwareFileError : QuillonError {
    explicit FirmwareFileError(const char* message) : QuillonError(21, message) {}
    explicit FirmwareFileError(const std::string& message) : QuillonError(21, message) {}
};

// The largest firmware file: the header and the largest image of each kind.
constexpr uint64_t kMaxFirmwareFileBytes =
    uint64_t{kFirmwareHeaderBytes} + kMaxBootImageBytes + kMaxMainImageBytes + kMaxFpgaImageBytes;

// A CAN card firmware file: up to three images (boot loader, main program, FPGA configuration)
// behind a 64-byte header, in either byte order, checked by a CRC-32. A loaded file has passed
// every check, so that nothing it holds can stop its download half-way: its magic number and
// CRC-32 match, each image lies inside the file, its length is a multiple of 4 and fits the
// flash of its kind, and it holds a main program, without which a card would be left with none.
class FirmwareFile {
  public:
    // Reads and checks a file, reading no more than kMaxFirmwareFileBytes; on failure the object
    // holds no file.
    void Load(const char* path);
    // Checks the bytes of a whole file and takes them as Load does.
    void Parse(std::unique_ptr<unsigned char[]> bytes, size_t size);

    uint32_t GetBootVersion() const;
    uint32_t GetMainVersion() const;
    uint32_t GetFpgaVersion() const;
    // Into the loaded file at the image's offset; len is the image's length in bytes.
    unsigned char* GetBootImage(unsigned int& len);
    unsigned char* GetMainImage(unsigned int& len);
    unsigned char* GetFpgaImage(unsigned int& len);
    // Whether the compatibility list names the card type (an empty list: type 0).
    bool MeantFor(int cardType) const;

  private:
    void CheckLoaded() const;
    unsigned char* Image(int firstWord, unsigned int& len);

    std::unique_ptr<unsigned char[]> data;  // the whole file; null until loaded
    size_t dataSize = 0;
    uint32_t header[16] = {};  // host order, magic normalised
    uint16_t compat[4] = {};
};

// Throws "Firmware not compatible with card" unless the file is meant for the card type.
void CheckFirmwareCompatible(const FirmwareFile& file, int cardType);
