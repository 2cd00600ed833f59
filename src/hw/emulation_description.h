#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/cfg_element.h"
#include "hw/emulated_bus.h"
#include "hw/emulated_card.h"
#include "hw/log_replay_source.h"
#include "hw/sim_source.h"

// What a traffic source learns about the bus it is declared on.
struct SimBusInfo {
    int number;              // the bus's number: its place among the description's buses
    uint32_t bitsPerSecond;  // the bus's bit rate
    std::string folder;      // the description's folder, for relative file names ("" for built-ins)
};

// Builds a simulated CANopen machine from its [Canopen] block. Throws SimConfigError (with
// the line of the offending entry) for a block it cannot use, unknown keys included.
using CanopenMachineFactory =
    std::function<std::unique_ptr<SimSource>(const CfgElement& block, const SimBusInfo& bus)>;

// The sources this layer cannot build itself, handed in by the layer that wires the program.
struct SimSourceFactories {
    CanopenMachineFactory canopen;  // for [Canopen] blocks
    LogLineParser logLine;          // for [LogReplay] blocks
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

// The built-in descriptions by name ("demo", "flood"); null for another name.
const char* BuiltInEmulation(const std::string& name);
