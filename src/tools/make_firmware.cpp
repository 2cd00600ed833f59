// quillon-make-firmware: writes a CAN card firmware file with images of chosen sizes and
// versions, for tests and demonstrations without a card maker's file.

#include <getopt.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hw/firmware_builder.h"

namespace {

const char kUsage[] =
    "Usage: quillon-make-firmware -o FILE [options]\n"
    "  -o, --output FILE        the firmware file to write\n"
    "  --boot-size N            boot loader image length in bytes (0: absent; a card takes\n"
    "                           only multiples of 4)\n"
    "  --boot-version V         boot loader version word, e.g. 0x00010100\n"
    "  --main-size N, --main-version V, --fpga-size N, --fpga-version V   likewise\n"
    "  --compat T1,T2,...       up to four card types (default: no list)\n"
    "  --big-endian             write the header words big-endian\n";

// A number in C notation (decimal, 0x hex); false when s is not one or is above max.
bool Number(const char* s, unsigned long max, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(s, &end, 0);
    return *s && !*end && errno == 0 && value <= max && s[0] != '-';
}

bool CompatList(const char* s, std::array<uint16_t, 4>& compat) {
    std::string list(s);
    size_t n = 0;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        unsigned long type = 0;
        if (n == compat.size() || !Number(list.substr(start, comma - start).c_str(), 0xFFFF, type))
            return false;
        compat[n++] = static_cast<uint16_t>(type);
        start = comma + 1;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    enum {
        kBootSize = 256,
        kBootVersion,
        kMainSize,
        kMainVersion,
        kFpgaSize,
        kFpgaVersion,
        kCompat,
        kBigEndian
    };
    const option options[] = {{"output", required_argument, nullptr, 'o'},
                              {"boot-size", required_argument, nullptr, kBootSize},
                              {"boot-version", required_argument, nullptr, kBootVersion},
                              {"main-size", required_argument, nullptr, kMainSize},
                              {"main-version", required_argument, nullptr, kMainVersion},
                              {"fpga-size", required_argument, nullptr, kFpgaSize},
                              {"fpga-version", required_argument, nullptr, kFpgaVersion},
                              {"compat", required_argument, nullptr, kCompat},
                              {"big-endian", no_argument, nullptr, kBigEndian},
                              {"help", no_argument, nullptr, 'h'},
                              {nullptr, 0, nullptr, 0}};
    FirmwareImages images;
    unsigned long sizes[3] = {};
    const char* output = nullptr;
    int c;
    while ((c = getopt_long(argc, argv, "o:h", options, nullptr)) != -1) {
        unsigned long value = 0;
        bool ok = true;
        switch (c) {
            case 'o':
                output = optarg;
                break;
            case kBootSize:
            case kMainSize:
            case kFpgaSize:
                ok = Number(optarg, 64ul << 20, value);
                sizes[(c - kBootSize) / 2] = value;
                break;
            case kBootVersion:
            case kMainVersion:
            case kFpgaVersion: {
                ok = Number(optarg, 0xFFFFFFFF, value);
                uint32_t* versions[] = {&images.bootVersion, &images.mainVersion,
                                        &images.fpgaVersion};
                *versions[(c - kBootVersion) / 2] = static_cast<uint32_t>(value);
                break;
            }
            case kCompat:
                ok = CompatList(optarg, images.compat);
                break;
            case kBigEndian:
                images.bigEndian = true;
                break;
            case 'h':
                std::fputs(kUsage, stdout);
                return 0;
            default:
                ok = false;
        }
        if (!ok) {
            if (c != '?') std::fprintf(stderr, "quillon-make-firmware: bad value: %s\n", optarg);
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (!output || optind != argc) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    images.boot = PatternImage(sizes[0], 1);
    images.main = PatternImage(sizes[1], 2);
    images.fpga = PatternImage(sizes[2], 3);
    const std::vector<uint8_t> file = BuildFirmwareFile(images);

    FILE* fp = std::fopen(output, "wb");
    if (!fp) {
        std::fprintf(stderr, "quillon-make-firmware: cannot write %s: %s\n", output,
                     std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), fp) == file.size();
    if (std::fclose(fp) != 0 || !written) {
        std::fprintf(stderr, "quillon-make-firmware: error writing %s\n", output);
        return 1;
    }
    return 0;
}
