#include "sim/canopen_machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "base/cfg_element.h"
#include "base/utils.h"
#include "hw/can_bits.h"
#include "sim/canopen_demo_machines.h"
#include "sim/eds_values.h"
#include "support/test_support.h"

namespace {

std::unique_ptr<SimSource> Machine(const std::string& text) {
    std::unique_ptr<FILE, int (*)(FILE*)> fp(
        fmemopen(const_cast<char*>(text.data()), text.size(), "r"), &std::fclose);
    return CreateCanopenMachine(*CfgElement::load(fp.get()), kDemoEdsDir);
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

std::string Log(const std::vector<CANframe>& frames) {
    std::string log;
    for (const CANframe& f : frames) {
        const bool remote = f.type == FRAME_RTR;
        log += Format("%9llu %s%d: 0x%08x%s", static_cast<unsigned long long>(f.timestamp),
                      remote ? "RTR" : "CAN", f.port, f.id, remote ? "" : " - ");
        for (int i = 0; !remote && i < f.length; ++i) log += Format("0x%02x ", f.data[i]);
        log += "\n";
    }
    return log;
}

// What quillon-dump makes of the frames: status and description of each.
std::vector<std::pair<int, std::string>> Decode(const std::vector<CANframe>& frames) {
    TempDir dir;
    WriteFile(dir.file("bus.log"), Log(frames));
    const ProcessResult r =
        RunProcess({QUILLON_DUMP_BIN, "-n", EXAMPLES_DIR "/demo.netcfg", dir.file("bus.log")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::pair<int, std::string>> rows;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() >= 6) rows.emplace_back(std::stoi(fields[4]), fields[5]);
    }
    return rows;
}

}  // namespace

// The traffic of the demo's machines and the example's, through the real decoder: nothing
// malformed, only an emergency with an error code worth a warning, no more frames than a quiet
// machine sends, and every service its file lists shows up (transfers completing), none that
// the file lists after "!".
TEST(CanopenMachineTest, DemoTrafficDecodesCleanly) {
    const struct {
        std::string text;
        uint32_t micros;
        uint8_t port;
        const char* services;
        size_t maxFrames;
    } kRuns[] = {
        {kDemoMachine, 20000000, 0, "demo_services.txt", SIZE_MAX},
        {kSmallMachine, 10000000, 1, "small_services.txt", 600},
        {ReadFile(EXAMPLES_DIR "/demo_machine.cfg"), 5000000, 0, "example_services.txt", SIZE_MAX},
    };
    for (const auto& run : kRuns) {
        SCOPED_TRACE(run.services);
        const std::vector<CANframe> frames = RunBus(*Machine(run.text), run.micros, run.port);
        EXPECT_EQ(Log(frames), Log(RunBus(*Machine(run.text), run.micros, run.port)));  // seeded
        EXPECT_LT(frames.size(), run.maxFrames);
        const auto rows = Decode(frames);
        ASSERT_EQ(rows.size(), frames.size());
        std::string all;
        for (size_t i = 0; i < rows.size(); ++i) {
            const bool emergency = (frames[i].id & 0x780) == 0x080 && frames[i].id != 0x080;
            EXPECT_EQ(rows[i].first, emergency && (frames[i].data[0] | frames[i].data[1]) ? 2 : 0)
                << DescribeFrame(frames[i]) << " " << rows[i].second;
            all += rows[i].second + "\n";
        }
        std::ifstream services(TEST_DATA_DIR "/../../sim/data/" + std::string(run.services));
        for (std::string s; std::getline(services, s);) {
            if (s[0] == '!')
                EXPECT_EQ(all.find(s.substr(1)), std::string::npos) << s;
            else
                EXPECT_NE(all.find(s), std::string::npos) << s;
        }
    }
}

// A node's TPDO keys replace its dictionary's mapping: the I/O module sends its inputs alone,
// the drive its position before its statusword, and twice in a whole frame, each on the
// identifier of its number.
TEST(CanopenMachineTest, TpdoKeysMapTheNodesPdos) {
    const std::vector<CANframe> frames =
        RunBus(*Machine("[CANopen]\nSDO_ms:0\nNMT_ms:0\nEMCY_ms:0\n"
                        "[Node]\nId:33\nEDS:demo_io.eds\nTPDO:6000sub1\n[END]\n"
                        "[Node]\nId:32\nEDS:demo_drive.eds\n"
                        "TPDO:6064\nTPDO:6064,6041\nTPDO:6064,6064\n[END]\n[END]\n"),
               2000000);
    std::map<uint32_t, std::set<int>> lengths;
    for (const CANframe& f : frames)
        if (f.id >= 0x180 && f.id < 0x580) lengths[f.id].insert(f.length);
    EXPECT_EQ(lengths, (std::map<uint32_t, std::set<int>>{
                           {0x1A1, {1}}, {0x1A0, {4}}, {0x2A0, {6}}, {0x3A0, {8}}}));
}

// A node's Target key: after each SYNC the master sends the RPDO the drive's dictionary maps,
// with the controlword and a target moving to and fro; at each SYNC the position (TPDO1) closes
// an eighth of its distance to the target received before it.
TEST(CanopenMachineTest, PositionFollowsTheTargetTheMasterSends) {
    const std::vector<CANframe> frames =
        RunBus(*Machine("[CANopen]\nSDO_ms:0\nNMT_ms:0\nEMCY_ms:0\n"
                        "[Node]\nId:32\nEDS:demo_drive.eds\nTarget:607A,6064\n[END]\n[END]\n"),
               3000000);
    int32_t target = 0, applied = 0, position = 0;
    std::set<int32_t> targets;
    int followed = 0;
    for (const CANframe& f : frames) {
        const auto value = static_cast<int32_t>(Build32(f.data + 2));
        if (f.id == 0x80) {
            applied = target;
        } else if (f.id == 0x220) {
            ASSERT_EQ(f.length, 6);
            EXPECT_EQ(Build16(f.data), 0x000F);
            target = value;
            targets.insert(target);
        } else if (f.id == 0x1A0) {
            ASSERT_EQ(f.length, 6);
            EXPECT_EQ(value, position + (applied - position) / 8) << followed;
            followed += value != position;
            position = value;
        }
    }
    EXPECT_GT(followed, 100);
    ASSERT_FALSE(targets.empty());
    EXPECT_LT(*targets.begin(), target);  // to and fro
    EXPECT_LT(target, *targets.rbegin());
}

TEST(CanopenMachineTest, DescriptionErrorsNameTheKey) {
    const std::pair<const char*, const char*> kCases[] = {
        {"[CANopen]\nSpeed:3\n[Node]\nId:1\n[END]\n[END]\n", "Speed"},
        {"[CANopen]\n[Node]\nId:1\nColour:red\n[END]\n[END]\n", "Colour"},
        {"[CANopen]\n[Node]\nId:200\n[END]\n[END]\n", "Id"},
        {"[CANopen]\nSync_us:fast\n[Node]\nId:1\n[END]\n[END]\n", "Sync_us"},
        {"[CANopen]\n[Node]\nId:1\nTPDO:1234\n[END]\n[END]\n", "TPDO"},
        {"[CANopen]\n[Node]\nId:1\nEDS:missing.eds\n[END]\n[END]\n", "missing.eds"},
        {"[CANopen]\n[Node]\nId:1\nHeartbeat_ms:100\nGuard_ms:100\n[END]\n[END]\n", "Guard_ms"},
        {"[CANopen]\n[Node]\nId:2\n[END]\n[Node]\nId:2\n[END]\n[END]\n", "twice"},
        {"[CANopen]\n[Node]\nId:1\nEDS:demo_drive.eds\nTarget:6064,607A\n[END]\n[END]\n", "Target"},
    };
    for (const auto& [text, named] : kCases) {
        const std::string error = ThrownError([&] { Machine(text); });
        EXPECT_EQ(error.rfind("12 ", 0), 0u) << error;
        EXPECT_NE(error.find(named), std::string::npos) << error;
    }
}

// Nodes with the dictionaries of real devices, each giving values: the master's transfers over
// their objects complete without an abort.
TEST(CanopenMachineTest, RealDictionariesServeTheMaster) {
    const std::string dir = SHARED_DATA_DIR;
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no shared test data";
    std::string text = "[CANopen]\nSDO_ms:20\nEMCY_ms:0\nNMT_ms:0\n";
    int id = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".eds" && ext != ".EDS") continue;
        EXPECT_FALSE(EdsValues::Load(entry.path().string(), 3).empty()) << entry.path();
        text +=
            Format("[Node]\nId:%d\nEDS:%s\nHeartbeat_ms:500\n[END]\n", ++id, entry.path().c_str());
    }
    EXPECT_GT(id, 5);
    int transfers = 0;
    for (const auto& [status, desc] : Decode(RunBus(*Machine(text + "[END]\n"), 10000000))) {
        EXPECT_LT(status, 3) << desc;
        EXPECT_EQ(desc.find("SDO abort"), std::string::npos) << desc;
        if (desc.find("finished") != std::string::npos) transfers++;
    }
    EXPECT_GT(transfers, 10);
}
