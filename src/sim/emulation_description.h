#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/cfg_element.h"
#include "sim/emulated_bus.h"
#include "sim/emulated_card.h"
#include "sim/log_replay_source.h"
#include "sim/sim_source.h"

// What the emulation is handed by whoever creates it.
struct SimSourceFactories {
    LogLineParserFor logLine;  // for [LogReplay] blocks
};

// Everything an emulation description declares, ready to run. Members are destroyed bottom
// up: the buses (and their threads) before the ports they deliver to.
struct Emulation {
    uint32_t driverVersion = 0;
    std::vector<EmulatedCard> cards;
    std::vector<std::unique_ptr<EmulatedPort>> ports;  // by port number
    std::vector<std::string> nodes;                    // device node name of each port
    std::vector<int> cardOf;                           // card index of each port
    std::vector<std::unique_ptr<EmulatedBus>> buses;
};

// Reads an [Emulation] block. Throws SimConfigError naming the line and the problem.
Emulation ReadEmulation(const CfgElement& root, const SimSourceFactories& factories,
                        const std::string& folder);

// The built-in description of a name ("demo", "flood") and the folder its file names are
// relative to; false for another name.
bool BuiltInEmulation(const std::string& name, std::string* text, std::string* folder);
