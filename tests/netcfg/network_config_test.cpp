#include "netcfg/network_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/cfg_element.h"
#include "support/test_support.h"

namespace {

NetworkInfo* Net(NetworkConfig& config, const std::string& port) {
    NetworkInfo* net = config.CreateNet(nullptr);
    net->setPortStr(port);
    return net;
}

NodeInfo* AddNode(NetworkConfig& config, NetworkInfo* net, const std::string& id) {
    auto node = std::make_unique<NodeInfo>(nullptr, config.Dictionaries());
    NodeInfo* raw = node.get();
    node->setIdStr(id);
    EXPECT_TRUE(net->AddNode(std::move(node)));
    return raw;
}

TEST(NetworkConfigTest, PortsIdsAndRedundancy) {
    // The validity check's message for a network or a node.
    auto message = [](auto* item, auto details) { return item->isValid(&details), details.msg; };
    NetworkConfig config;
    NetworkInfo* a = Net(config, "1");
    NetworkInfo* b = Net(config, "1");
    EXPECT_TRUE(a->redundant && b->redundant && config.FindNet(1) == a);
    EXPECT_STREQ(message(b, NetValidDetails()), "CAN port in use by another network");
    b->setPortStr("2");
    EXPECT_TRUE(!a->redundant && !b->redundant && config.FindNet(2) == b);

    NetworkInfo* far = Net(config, "12");
    EXPECT_TRUE(far->isValid(nullptr) && !config.FindNet(12));  // valid, beyond the port map
    const char* const ports[] = {"abc", "-1: Error parsing port number", "0x3", "3: ",
                                 "64",  "64: Invalid CAN port number",   "",    "0: "};
    for (int i = 0; i < 8; i += 2) {
        far->setPortStr(ports[i]);
        EXPECT_EQ(std::to_string(far->port) + ": " + message(far, NetValidDetails()), ports[i + 1]);
    }
    EXPECT_TRUE(far->setEDS("/no/such/file.eds"));  // true: not loaded
    NetValidDetails d;
    EXPECT_FALSE(far->isValid(&d));
    EXPECT_TRUE(d.portOk && !d.edsOk && d.msg == std::string("Unable to load EDS file"));

    NodeInfo* n3 = AddNode(config, a, "7");
    NodeInfo* motor = AddNode(config, a, "7");
    motor->name = "Motor";
    EXPECT_TRUE(n3->redundant && config.FindNode(1, 7) == n3);
    EXPECT_STREQ(message(motor, NodeValidDetails()), "ID value already in use on network");
    motor->setIdStr("9");
    EXPECT_TRUE(motor->name == "Motor" && !n3->redundant && a->FindNode(9) == motor);
    // Automatic names follow the id; ids 0 to 127 are mapped, valid or not.
    const char* const ids[] = {"x",   "Node -1: Error parsing node ID",
                               "0",   "Node 0: Invalid node ID (valid range is 1 to 127)",
                               "200", "Node 200: Invalid node ID (valid range is 1 to 127)",
                               "128", "Node 128: Invalid node ID (valid range is 1 to 127)",
                               "127", "Node 127: ",
                               "7",   "Node 7: "};
    for (int i = 0; i < 12; i += 2) {
        n3->setIdStr(ids[i]);
        EXPECT_EQ(n3->name + ": " + message(n3, NodeValidDetails()), ids[i + 1]);
        EXPECT_EQ(a->FindNode(n3->id), n3->id >= 0 && n3->id < 128 ? n3 : nullptr);
    }
    EXPECT_TRUE(!config.FindNode(1, 200) && a->CountNodes() == 2);
    EXPECT_EQ(a->RemoveNode(motor).get(), motor);
    EXPECT_TRUE(a->FindNode(9) == nullptr && a->CountNodes() == 1);
    EXPECT_TRUE(NodeInfo(n3).network == nullptr && NodeInfo(n3).idStr == "7");  // a loose copy

    for (int i = 0; i < 7; i++) Net(config, "5");
    EXPECT_TRUE(!config.CanAddNet() && !config.CreateNet(nullptr));
}

TEST(NetworkConfigTest, FilesRoundTripAndLimits) {
    TempDir dir;
    NetworkConfig config;
    const std::string data = TEST_DATA_DIR "/../../netcfg/data/", path = dir.file("net.cfg");
    EXPECT_EQ(config.Load((data + "two_networks.cfg").c_str()), nullptr);
    EXPECT_EQ(config.Net(0)->name + ", " + config.Net(0)->Node(0)->name + ", " +
                  config.Net(0)->Node(1)->name + ", " + config.Net(1)->portStr + ", " +
                  config.Net(1)->Node(0)->name,
              "Line A, Axis, Node 6, not a port, Node -1");
    EXPECT_EQ(config.Save(path.c_str()), nullptr);
    EXPECT_EQ(ReadFile(path), ReadFile(data + "two_networks.cfg"));

    // Ten networks at most; a node saved as "Node 1" with another id comes back with its id's name.
    EXPECT_EQ(config.Load((data + "twelve_networks.cfg").c_str()), nullptr);
    EXPECT_TRUE(config.Net(9)->name == "Net 9" && !config.CanAddNet());
    EXPECT_EQ(config.Net(0)->Node(0)->name, "Node 7");

    // A file of another kind, or of no element, empties the configuration; one that does not
    // read leaves it alone.
    for (const char* text :
         {"[Other]\n[END]\n", "# nothing but a comment\n", "[NetCFG]\nno colon\n[END]\n"}) {
        const bool reads = text[1] != 'N';
        WriteFile(path, text);
        EXPECT_STREQ(config.Load(path.c_str()), "File format error");
        EXPECT_EQ(config.Net(0) == nullptr, reads) << text;
        if (reads) Net(config, "1");
    }
    EXPECT_STREQ(config.Load(dir.file("missing").c_str()), "Unable to open file");
    EXPECT_STREQ(config.Save(dir.file("no/such/dir").c_str()),
                 "Unable to create configuration file");
}

// The cases of data/problems.txt: after "$ net.cfg" a configuration file, after "$ loaded" what
// loading it says (paths written without their folder) and its result.
TEST(NetworkConfigTest, SaysWhatAFileHoldsThatItCannotTake) {
    const std::string data = TEST_DATA_DIR "/../../netcfg/data/";
    TempDir dir;
    WriteFile(dir.file("cut.eds"), ReadFile(data + "cut.eds"));
    ExpectCaseFile(data + "problems.txt", "$ net.cfg", [&](const std::string& text) {
        WriteFile(dir.file("net.cfg"), text);
        NetworkConfig config;
        std::vector<std::string> problems;
        const char* error = config.Load(dir.file("net.cfg").c_str(), &problems);
        std::string said;
        for (std::string p : problems)
            said += p.substr(p.find(dir.path()) == 0 ? dir.path().size() + 1 : 0) + "\n";
        int networks = 0;
        while (config.Net(networks)) networks++;
        return said +
               (error ? std::string(error) + "\n" : "networks " + std::to_string(networks) + "\n");
    });
    // The entries after the cut header are no part of the object before it.
    NetworkConfig config;
    WriteFile(dir.file("net.cfg"), "[NetCFG]\n[Network]\nport:2\neds:cut.eds\n[END]\n[END]\n");
    ASSERT_EQ(config.Load(dir.file("net.cfg").c_str()), nullptr);
    ASSERT_NE(config.Net(0)->objDict, nullptr);
    EXPECT_EQ(config.Net(0)->objDict->getInfo(0x10180000)->name, "Identity Object");
    EXPECT_EQ(config.Net(0)->objDict->Find(0x20000000), nullptr);
}

// Saved into another folder, a configuration names its EDS files from there, so that it finds
// them when loaded from there; in its own folder the names stay as they were.
TEST(NetworkConfigTest, SavedEdsPathsAreRelativeToTheFile) {
    namespace fs = std::filesystem;
    TempDir dir;
    fs::create_directories(dir.file("plant/eds"));
    fs::create_directories(dir.file("copies"));
    WriteFile(dir.file("plant/eds/io.eds"), ReadFile(EXAMPLES_DIR "/demo_io.eds"));
    WriteFile(dir.file("plant/drive.eds"), ReadFile(EXAMPLES_DIR "/demo_drive.eds"));
    WriteFile(dir.file("plant/net.netcfg"),
              "[NetCFG]\n[Network]\nname:Line\nport:0\neds:eds/io.eds\n[Node]\nid:5\neds:" +
                  dir.file("plant/drive.eds") + "\n[END]\n[END]\n[END]\n");
    NetworkConfig config;
    ASSERT_EQ(config.Load(dir.file("plant/net.netcfg").c_str()), nullptr);
    ASSERT_TRUE(config.Net(0)->isValid(nullptr) && config.Net(0)->Node(0)->isValid(nullptr));
    const auto edsLines = [](const std::string& file) {
        std::istringstream lines(ReadFile(file));
        std::string eds;
        for (std::string line; std::getline(lines, line);)
            if (line.find("eds:") != std::string::npos) eds += line.substr(line.find("eds:")) + " ";
        return eds;
    };
    for (auto [file, eds] : {std::pair{"copies/net.netcfg",
                                       "eds:../plant/eds/io.eds "
                                       "eds:../plant/drive.eds "},
                             {"plant/eds/net.netcfg", "eds:io.eds eds:../drive.eds "},
                             {"plant/again.netcfg", "eds:eds/io.eds eds:drive.eds "}}) {
        ASSERT_EQ(config.Save(dir.file(file).c_str()), nullptr);
        EXPECT_EQ(edsLines(dir.file(file)), eds) << file;
        NetworkConfig moved;
        ASSERT_EQ(moved.Load(dir.file(file).c_str()), nullptr);
        NetValidDetails net;
        NodeValidDetails node;
        EXPECT_TRUE(moved.Net(0)->isValid(&net) && moved.Net(0)->Node(0)->isValid(&node)) << file;
        EXPECT_STREQ(net.msg, "") << file;
    }
    // With no folder in common below the root, the path is absolute.
    const fs::path examples = fs::absolute(EXAMPLES_DIR).lexically_normal();
    if (*std::next(examples.begin()) != *std::next(fs::absolute(dir.path()).begin())) {
        ASSERT_EQ(config.Load(EXAMPLES_DIR "/demo.netcfg"), nullptr);
        ASSERT_EQ(config.Save(dir.file("demo.netcfg").c_str()), nullptr);
        EXPECT_EQ(edsLines(dir.file("demo.netcfg")),
                  "eds:" + (examples / "demo_io.eds").string() +
                      " eds:" + (examples / "demo_drive.eds").string() + " eds: ");
    }
}

}  // namespace
