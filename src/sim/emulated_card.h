#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

struct EmulatedPort;

// One emulated CAN card: what its commands report and the faults it shows. The constant part
// comes from the emulation description; the state below it is guarded by the emulated driver's
// mutex.
struct EmulatedCard {
    int family = 0;  // index into kNodeFamilies
    uint32_t type = 256;
    uint32_t serial = 0;
    uint32_t firmware = 0;  // version words: major << 16 | minor << 8 | build
    uint32_t boot = 0;
    uint32_t param1 = 0;
    uint32_t param7 = 0;
    uint32_t param8 = 0;
    uint32_t analog2 = 0;  // raw parameter values, scaled by the program
    uint32_t analog3 = 0;
    uint32_t analog4 = 0;
    uint32_t busyEvery = 0;        // every Nth command answers busy; 0 never
    uint32_t verifyFailEvery = 0;  // every Nth verification answers a wrong CRC-32; 0 never
    uint32_t vanishMs = 0;         // how long the device nodes are gone after a reset
    std::vector<EmulatedPort*> ports;

    bool updateFailed = false;  // parameter 12, bit 0
    // The card runs its main program. Erasing it leaves only the boot loader, which reports no
    // firmware version and takes the flash commands but not the port's, until a main program
    // is written and verified.
    bool mainProgram = true;
    uint64_t commands = 0;       // commands received, for the busy answers
    uint64_t verifications = 0;  // flash verifications received, for the failing ones
    bool unlocked = false;       // type 1: opcode 8 given, the flash may be written
    // Flash by image identifier: the bytes written since its last erase (at most the image's
    // ImageCapacity), each word unpacked with its bits 31-24 first, as the program packs the
    // image.
    std::map<uint32_t, std::vector<uint8_t>> flash;
    uint32_t writing = 0;  // the image the last erase chose; 0 before any
    std::chrono::steady_clock::time_point goneUntil{};

    // A port's bus analysis: armed by opcode 12, then the first frame the port sends is the test
    // frame, whose outcome is ready from capture on.
    struct Analysis {
        bool armed = false;
        bool captured = false;
        uint32_t polls = 0;             // outcome requests since the capture
        uint32_t words[5] = {};         // a measuring card's result words 1 to 5
        std::vector<uint16_t> samples;  // a type 1 card's line samples
    };
    std::map<const EmulatedPort*, Analysis> analyses;
};
