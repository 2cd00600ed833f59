#include "sim/emulation_description.h"

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/card_protocol.h"
#include "sim/canopen_demo_machines.h"
#include "sim/canopen_machine.h"
#include "sim/flood_source.h"
#include "sim/sim_block.h"

namespace {

constexpr size_t kMaxPorts = 64;  // the program's port table
constexpr size_t kDefaultQueue = 4096;
constexpr const char* kFamilyNames[] = {"ulcan", "tarvelcan"};

// The demo's machines are the CANopen machine's own built-in networks, spliced into the buses.
const char kDemoMachineBus[] = R"([Emulation]
   # A machine of seven CANopen nodes on a 500 kbit/s bus, seen by port 0 and port 2: ordinary
   # transceivers, the other nodes' ACK arriving after both ways of the loop and the cable.
   [Bus]
      bitrate:500000
      loop_fall_ns:150
      loop_rise_ns:170
      ack_fall_ns:310
      ack_rise_ns:330
)";
const char kDemoQuietBus[] = R"(   [END]
   # A quieter bus with a second, smaller network, seen by port 1 and port 3.
   [Bus]
      bitrate:125000
      loop_fall_ns:110
      loop_rise_ns:120
      ack_fall_ns:260
      ack_rise_ns:280
)";
const char kDemoCards[] = R"(   [END]
   # A card that measures the bus load itself (a TRL-KX-2).
   [Card]
      type:256
      serial:230117
      firmware:0x00030204
      [Port]
         bus:0
      [END]
      [Port]
         bus:1
      [END]
   [END]
   [Card]
      type:1
      serial:4711
      firmware:0x00010607
      boot:0x00010100
      [Port]
         bus:0
      [END]
      [Port]
         bus:1
      [END]
   [END]
[END]
)";

const char kFlood[] = R"([Emulation]
   # Eight buses at 1 Mbit/s, each flooded with 100,000 8-byte frames of identifier 0x100 plus
   # its number from the moment its port is opened; four cards of two ports, one port a bus.
   [Bus]
      bitrate:1000000
      [Flood]
         count:100000
         id:0x100
      [END]
   [END]
   [Bus]
      bitrate:1000000
      [Flood]
         count:100000
         id:0x101
      [END]
   [END]
   [Bus]
      bitrate:1000000
      [Flood]
         count:100000
         id:0x102
      [END]
   [END]
   [Bus]
      bitrate:1000000
      [Flood]
         count:100000
         id:0x103
      [END]
   [END]
   [Bus]
      bitrate:1000000
      [Flood]
         count:100000
         id:0x104
      [END]
   [END]
   [Bus]
      bitrate:1000000
      [Flood]
         count:100000
         id:0x105
      [END]
   [END]
   [Bus]
      bitrate:1000000
      [Flood]
         count:100000
         id:0x106
      [END]
   [END]
   [Bus]
      bitrate:1000000
      [Flood]
         count:100000
         id:0x107
      [END]
   [END]
   [Card]
      serial:100001
      [Port]
         bus:0
      [END]
      [Port]
         bus:1
      [END]
   [END]
   [Card]
      serial:100002
      [Port]
         bus:2
      [END]
      [Port]
         bus:3
      [END]
   [END]
   [Card]
      serial:100003
      [Port]
         bus:4
      [END]
      [Port]
         bus:5
      [END]
   [END]
   [Card]
      serial:100004
      [Port]
         bus:6
      [END]
      [Port]
         bus:7
      [END]
   [END]
[END]
)";

// The driver's bit-rate value (1-8) of a rate in bits per second.
int RateValue(const SimBlock& block, const char* key, int dflt) {
    if (!block.Has(key)) return dflt;
    const int64_t bps = block.Int(key, 0, 0, kBitRates[0]);
    for (int code = 0; code < kBitRateCount; code++)
        if (bps == kBitRates[code]) return code + 1;
    std::string rates = Format("%d", kBitRates[0]);
    for (int code = 1; code < kBitRateCount; code++)
        rates += Format(code + 1 < kBitRateCount ? ", %d" : " or %d", kBitRates[code]);
    block.Fail(key, Format("%s %lld is not a CAN card's bit rate (%s)", key,
                           static_cast<long long>(bps), rates.c_str()));
}

std::string InFolder(const std::string& folder, const std::string& file) {
    if (file.empty() || file[0] == '/' || folder.empty()) return file;
    return folder + "/" + file;
}

std::unique_ptr<EmulatedBus> ReadBus(const CfgElement& element, int number,
                                     const SimSourceFactories& factories,
                                     const std::string& folder) {
    const SimBlock block(element,
                         {"bitrate", "loop_fall_ns", "loop_rise_ns", "ack_fall_ns", "ack_rise_ns"},
                         {"Flood", "LogReplay", "CANopen"});
    if (!block.Has("bitrate")) SimBlock::Fail(element, "[Bus] needs a bitrate");
    const int rate = RateValue(block, "bitrate", 0);
    auto bus = std::make_unique<EmulatedBus>(rate);
    // Delays up to a bit time at the fastest rate.
    LineTiming timing;
    timing.loopFallNs = static_cast<int>(block.Int("loop_fall_ns", 0, 0, 1000));
    timing.loopRiseNs = static_cast<int>(block.Int("loop_rise_ns", 0, 0, 1000));
    timing.ackFallNs = static_cast<int>(block.Int("ack_fall_ns", 0, 0, 1000));
    timing.ackRiseNs = static_cast<int>(block.Int("ack_rise_ns", 0, 0, 1000));
    bus->SetLineTiming(timing);
    for (const CfgElement* e : block.Blocks("Flood")) {
        const SimBlock flood(*e, {"count", "id", "length"});
        bus->AddSource(std::make_unique<FloodSource>(
            static_cast<uint32_t>(flood.Int("count", 1000, 1, 1000000000)),
            static_cast<uint32_t>(flood.Int("id", 0x100 + number, 0, 0x1FFFFFFF)),
            static_cast<int>(flood.Int("length", 8, 0, 8)), number));
    }
    for (const CfgElement* e : block.Blocks("LogReplay")) {
        const SimBlock replay(*e, {"file", "port", "loop"});
        if (!factories.logLine) SimBlock::Fail(*e, "log replay is not available in this program");
        if (!replay.Has("file")) SimBlock::Fail(*e, "[LogReplay] needs a file");
        std::vector<CANframe> frames;
        try {
            frames = LogReplaySource::ReadLog(InFolder(folder, replay.Text("file", "")),
                                              factories.logLine,
                                              static_cast<int>(replay.Int("port", -1, -1, 255)));
        } catch (const std::string& problem) {
            SimBlock::Fail(*e, problem);
        }
        bus->AddSource(
            std::make_unique<LogReplaySource>(std::move(frames), replay.Int("loop", 0, 0, 1) != 0));
    }
    for (const CfgElement* e : block.Blocks("CANopen")) {
        // The machine names the key or file it refuses; the line is its block's.
        try {
            bus->AddSource(CreateCanopenMachine(*e, folder));
        } catch (const QuillonError& err) {
            SimBlock::Fail(*e, err.message);
        }
    }
    return bus;
}

struct PortDecl {
    const CfgElement* element;
    int card;
};

EmulatedCard ReadCard(const SimBlock& block, int index) {
    EmulatedCard card;
    const std::string family = block.Text("family", kFamilyNames[0]);
    if (family == kFamilyNames[1]) {
        card.family = 1;
    } else if (family != kFamilyNames[0]) {
        block.Fail("family", Format("family must be ulcan or tarvelcan, not %s", family.c_str()));
    }
    card.type = block.Word("type", 256);
    card.serial = block.Word("serial", 1000 + static_cast<uint32_t>(index));
    card.firmware = block.Word("firmware", 0x00020105);
    card.boot = block.Word("boot", 0x00010002);
    card.param1 = block.Word("param1", 0);
    card.param7 = block.Word("param7", 0);
    card.param8 = block.Word("param8", 0);
    card.analog2 = block.Word("analog2", 32768);  // 5.0 V on the scale of 10 / 65536
    card.analog3 = block.Word("analog3", 43254);  // 3.3 V on the scale of 5 / 65536
    card.analog4 = block.Word("analog4", 32768);  // 2.5 V
    card.updateFailed = block.Int("update_failed", 0, 0, 1) != 0;
    card.busyEvery = static_cast<uint32_t>(block.Int("busy_every", 0, 0, 1000000));
    card.verifyFailEvery = static_cast<uint32_t>(block.Int("verify_fail_every", 0, 0, 1000000));
    card.vanishMs = static_cast<uint32_t>(block.Int("vanish_ms", 0, 0, 3600000));
    if (card.vanishMs && card.type != 259 && card.type != 260)
        block.Fail("vanish_ms", "vanish_ms needs a card of type 259 or 260");
    return card;
}

void ReadPort(const CfgElement& element, Emulation& emulation) {
    const SimBlock block(element, {"bus", "bitrate", "queue", "tx_errors", "rx_errors", "tx_state",
                                   "rx_state", "bus_off", "rx_stuck"});
    if (!block.Has("bus")) SimBlock::Fail(element, "[Port] needs a bus");
    const int64_t busCount = static_cast<int64_t>(emulation.buses.size());
    const int64_t bus = block.Int("bus", 0, 0, busCount - 1);
    EmulatedBus& onBus = *emulation.buses[static_cast<size_t>(bus)];
    auto port = std::make_unique<EmulatedPort>(
        onBus, RateValue(block, "bitrate", onBus.rate()),
        static_cast<size_t>(block.Int("queue", kDefaultQueue, 1, 1000000)));
    port->txErrors = static_cast<uint8_t>(block.Int("tx_errors", 0, 0, 255));
    port->rxErrors = static_cast<uint8_t>(block.Int("rx_errors", 0, 0, 255));
    port->txState = static_cast<uint8_t>(block.Int("tx_state", 0, 0, kBusOff));
    port->rxState = static_cast<uint8_t>(block.Int("rx_state", 0, 0, kBusOff));
    if (block.Int("bus_off", 0, 0, 1)) port->txState = port->rxState = kBusOff;
    const std::string stuck = block.Text("rx_stuck", "no");
    if (stuck == "high")
        port->rxStuck = LineTiming::Stuck::kHigh;
    else if (stuck == "low")
        port->rxStuck = LineTiming::Stuck::kLow;
    else if (stuck != "no")
        block.Fail("rx_stuck", "rx_stuck must be high, low or no, not " + stuck);
    onBus.Attach(*port);
    emulation.ports.push_back(std::move(port));
}

}  // namespace

Emulation ReadEmulation(const CfgElement& root, const SimSourceFactories& factories,
                        const std::string& folder) {
    if (root.name != "Emulation")
        SimBlock::Fail(root, Format("expected [Emulation], found %s", root.name.c_str()));
    const SimBlock top(root, {"driver"}, {"Bus", "Card"});
    Emulation emulation;
    emulation.driverVersion = top.Word("driver", 0x00030001);
    int busNumber = 0;
    for (const CfgElement* e : top.Blocks("Bus"))
        emulation.buses.push_back(ReadBus(*e, busNumber++, factories, folder));
    if (emulation.buses.empty()) SimBlock::Fail(root, "no [Bus] declared");

    // Port numbers go to the first family's nodes first, as the program's scan finds them.
    std::vector<PortDecl> families[2];
    int index = 0;
    for (const CfgElement* e : top.Blocks("Card")) {
        const SimBlock block(*e,
                             {"family", "type", "serial", "firmware", "boot", "param1", "param7",
                              "param8", "analog2", "analog3", "analog4", "update_failed",
                              "busy_every", "verify_fail_every", "vanish_ms"},
                             {"Port"});
        EmulatedCard card = ReadCard(block, index);
        const auto ports = block.Blocks("Port");
        if (ports.empty()) SimBlock::Fail(*e, "a [Card] needs at least one [Port]");
        for (const CfgElement* p : ports) families[card.family].push_back(PortDecl{p, index});
        emulation.cards.push_back(std::move(card));
        index++;
    }
    if (emulation.cards.empty()) SimBlock::Fail(root, "no [Card] declared");
    for (int family = 0; family < 2; family++) {
        int node = 0;
        for (const PortDecl& decl : families[family]) {
            if (emulation.ports.size() == kMaxPorts)
                SimBlock::Fail(*decl.element, Format("more than %zu ports", kMaxPorts));
            ReadPort(*decl.element, emulation);
            emulation.nodes.push_back(Format(kNodeFamilies[family], node++));
            emulation.cardOf.push_back(decl.card);
            emulation.cards[static_cast<size_t>(decl.card)].ports.push_back(
                emulation.ports.back().get());
        }
    }
    return emulation;
}

bool BuiltInEmulation(const std::string& name, std::string* text, std::string* folder) {
    if (name == "demo") {
        *text = std::string(kDemoMachineBus) + kDemoMachine + kDemoQuietBus + kSmallMachine +
                kDemoCards;
        *folder = kDemoEdsDir;
        return true;
    }
    if (name == "flood") {
        *text = kFlood;
        folder->clear();
        return true;
    }
    return false;
}
