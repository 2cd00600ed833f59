#include "sim/canopen_machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "base/cfg_element.h"
#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/can_bits.h"
#include "sim/canopen_demo_machines.h"
#include "support/test_support.h"

namespace {

std::unique_ptr<CfgElement> ParseText(const char* text) {
    std::unique_ptr<FILE, int (*)(FILE*)> fp(
        fmemopen(const_cast<char*>(text), std::strlen(text), "r"), &std::fclose);
    return CfgElement::load(fp.get());
}

std::unique_ptr<SimSource> Machine(const char* text) {
    return CreateCanopenMachine(*ParseText(text), kDemoEdsDir);
}

// A bus at 500 kbit/s that carries what the source wants, one frame after the other, for the
// given simulated time; frames are stamped with the end of their transmission.
std::vector<CANframe> RunBus(SimSource& source, uint32_t micros, uint8_t port = 0) {
    std::vector<CANframe> carried, out;
    uint32_t now = 0, busFree = 0;
    source.Start(now);
    while (now < micros) {
        out.clear();
        const uint32_t next = source.Poll(now, out);
        for (CANframe& frame : out) {
            busFree = std::max(now, busFree) + static_cast<uint32_t>(FrameBusBits(frame)) * 2;
            frame.timestamp = busFree;
            frame.port = port;
            source.Seen(frame, busFree);
            carried.push_back(frame);
        }
        now = out.empty() ? std::max(next, now + 1) : busFree;
    }
    return carried;
}

std::string LogLine(const CANframe& f) {
    std::string line =
        Format("%9u %s%d: 0x%08x", f.timestamp, f.type == FRAME_RTR ? "RTR" : "CAN", f.port, f.id);
    if (f.type == FRAME_RTR) return line + "\n";
    line += " - ";
    for (int i = 0; i < f.length; ++i) line += Format("0x%02x ", f.data[i]);
    return line + "\n";
}

// What quillon-dump makes of the frames: status and description of each.
std::vector<std::pair<int, std::string>> Decode(const std::vector<CANframe>& frames,
                                                const TempDir& dir) {
    std::string log;
    for (const CANframe& f : frames) log += LogLine(f);
    WriteFile(dir.file("bus.log"), log);
    const ProcessResult r =
        RunProcess({QUILLON_DUMP_BIN, "-n", EXAMPLES_DIR "/demo.netcfg", dir.file("bus.log")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::pair<int, std::string>> rows;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) fields.push_back(cell);
        if (fields.size() >= 6) rows.emplace_back(std::stoi(fields[4]), fields[5]);
    }
    return rows;
}

}  // namespace

// The demo machine's traffic, through the real decoder: nothing malformed, and every service
// the machine offers shows up, transfers completing.
TEST(CanopenMachineTest, DemoTrafficDecodesCleanly) {
    std::unique_ptr<SimSource> machine = Machine(kDemoMachine);
    const std::vector<CANframe> frames = RunBus(*machine, 20000000);
    TempDir dir;
    const auto rows = Decode(frames, dir);
    ASSERT_EQ(rows.size(), frames.size());

    std::string all;
    for (size_t i = 0; i < rows.size(); ++i) {
        const bool emergency = (frames[i].id & 0x780) == 0x080 && frames[i].id != 0x080;
        // Only an emergency with an error code is worth a warning.
        EXPECT_EQ(rows[i].first, emergency && (frames[i].data[0] | frames[i].data[1]) ? 2 : 0)
            << LogLine(frames[i]) << rows[i].second;
        all += rows[i].second + "\n";
    }
    const char* const kServices[] = {
        "NMT: Reset Communications - all nodes",
        "NMT: Start Remote Node - all nodes",
        "NMT: Stop Remote Node - node",
        "NMT: Enter Pre-Operational state - node",
        "NMT: Reset Node - node",
        "NMT: Reset Communications - node",
        "SYNC",
        "GUARD<-1: Boot-up message",
        "GUARD<-5: node is Operational",
        "GUARD->3: Node guarding request",
        "GUARD<-3: node is Operational",
        "GUARD<-6: node is Stopped",
        "EMCY.",
        "LSS - Switch mode select, Serial number",
        "LSS - Switch Mode Selective response",
        "LSS - Configure node ID (10)",
        "LSS - Configure Node-ID response",
        "LSS - Store configuration",
        "GUARD<-10: Boot-up message",
        " is 0x",  // expedited upload
        " to 0x",  // expedited download
        "start get data response",
        "upload data: ",
        "start set to",
        "download data: ",
        "block upload data segment",
        "block upload finished",
        "block download data segment",
        "OK, download finished",
    };
    for (const char* service : kServices)
        EXPECT_NE(all.find(service), std::string::npos) << service;
    EXPECT_EQ(all.find("SDO abort"), std::string::npos);

    int resets = 0;
    for (const CANframe& f : frames)
        if ((f.id & 0x780) == 0x080 && f.id != 0x080 && f.data[0] == 0 && f.data[1] == 0) resets++;
    EXPECT_GT(resets, 0) << "no emergency error reset";
}

TEST(CanopenMachineTest, SmallMachineIsQuietAndClean) {
    std::unique_ptr<SimSource> machine = Machine(kSmallMachine);
    const std::vector<CANframe> frames = RunBus(*machine, 10000000, 1);
    TempDir dir;
    for (const auto& [status, desc] : Decode(frames, dir)) EXPECT_LT(status, 3) << desc;
    std::set<uint32_t> senders;
    for (const CANframe& f : frames) senders.insert(f.id);
    EXPECT_TRUE(senders.count(0x720) && senders.count(0x721) && senders.count(0x722));
    EXPECT_LT(frames.size(), 400u);
}

// The same description gives the same traffic, frame for frame.
TEST(CanopenMachineTest, SameSeedSameTraffic) {
    const auto first = RunBus(*Machine(kDemoMachine), 3000000);
    const auto second = RunBus(*Machine(kDemoMachine), 3000000);
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(LogLine(first[i]), LogLine(second[i]));
}

TEST(CanopenMachineTest, DescriptionErrorsNameTheKey) {
    struct Case {
        const char* text;
        const char* named;
    };
    const Case kCases[] = {
        {"[CANopen]\nSpeed:3\n[Node]\nId:1\n[END]\n[END]\n", "Speed"},
        {"[CANopen]\n[Node]\nId:1\nColour:red\n[END]\n[END]\n", "Colour"},
        {"[CANopen]\n[Node]\nId:200\n[END]\n[END]\n", "Id"},
        {"[CANopen]\nSync_us:fast\n[Node]\nId:1\n[END]\n[END]\n", "Sync_us"},
        {"[CANopen]\n[Node]\nId:1\nTPDO:1234\n[END]\n[END]\n", "TPDO"},
        {"[CANopen]\n[Node]\nId:1\nEDS:missing.eds\n[END]\n[END]\n", "missing.eds"},
        {"[CANopen]\n[Node]\nId:1\nHeartbeat_ms:100\nGuard_ms:100\n[END]\n[END]\n", "Guard_ms"},
        {"[CANopen]\n[Node]\nId:2\n[END]\n[Node]\nId:2\n[END]\n[END]\n", "twice"},
    };
    for (const Case& c : kCases) {
        try {
            Machine(c.text);
            ADD_FAILURE() << c.text;
        } catch (const QuillonError& e) {
            EXPECT_EQ(e.code, 12);
            EXPECT_NE(e.message.find(c.named), std::string::npos) << e.message;
        }
    }
}

// Nodes with the dictionaries of real devices: the master's transfers over their objects
// complete without an abort.
TEST(CanopenMachineTest, RealDictionariesServeTheMaster) {
    const std::string dir = SHARED_DATA_DIR;
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no shared test data";
    std::string text = "[CANopen]\nSDO_ms:20\nEMCY_ms:0\nNMT_ms:0\n";
    int id = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".eds" && ext != ".EDS") continue;
        text +=
            Format("[Node]\nId:%d\nEDS:%s\nHeartbeat_ms:500\n[END]\n", ++id, entry.path().c_str());
    }
    text += "[END]\n";
    if (id == 0) GTEST_SKIP() << "no EDS files";
    std::unique_ptr<SimSource> machine = Machine(text.c_str());
    const std::vector<CANframe> frames = RunBus(*machine, 10000000);
    TempDir temp;
    int transfers = 0;
    for (const auto& [status, desc] : Decode(frames, temp)) {
        EXPECT_LT(status, 3) << desc;
        EXPECT_EQ(desc.find("SDO abort"), std::string::npos) << desc;
        if (desc.find("finished") != std::string::npos) transfers++;
    }
    EXPECT_GT(transfers, 10);
}

TEST(CanopenMachineTest, ExampleDescriptionRuns) {
    const auto block = CfgElement::load(EXAMPLES_DIR "/demo_machine.cfg");
    ASSERT_NE(block, nullptr);
    std::unique_ptr<SimSource> machine = CreateCanopenMachine(*block, EXAMPLES_DIR);
    const std::vector<CANframe> frames = RunBus(*machine, 5000000);
    TempDir dir;
    std::string all;
    for (const auto& [status, desc] : Decode(frames, dir)) {
        EXPECT_LT(status, 3) << desc;
        all += desc + "\n";
    }
    EXPECT_EQ(all.find("LSS - Switch mode select"), std::string::npos);
    EXPECT_NE(all.find("LSS - Configure Node-ID response"), std::string::npos);
    EXPECT_NE(all.find("GUARD<-10: Boot-up message"), std::string::npos);
    EXPECT_NE(all.find("GUARD<-7: node is Operational"), std::string::npos);
}
