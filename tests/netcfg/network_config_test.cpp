#include "netcfg/network_config.h"

#include <gtest/gtest.h>

#include "base/cfg_element.h"
#include "app/quillon.h"
#include "decode/canopen_network.h"
#include "support/test_support.h"

namespace {

// The application's configuration is the one the nodes and networks report to.
class NetworkConfigTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (int i = 0; i < NetworkConfig::kMaxNets; i++) config.RemoveNet(config.Net(i));
    }
    NetworkInfo* Net(const std::string& port) {
        NetworkInfo* net = config.CreateNet(nullptr);
        net->setPortStr(port);
        return net;
    }
    static NodeInfo* AddNode(NetworkInfo* net, const std::string& id) {
        auto node = std::make_unique<NodeInfo>(static_cast<const CfgElement*>(nullptr));
        NodeInfo* raw = node.get();
        node->setIdStr(id);
        EXPECT_TRUE(net->AddNode(std::move(node)));
        return raw;
    }
    static std::string NetMessage(NetworkInfo* net) {
        NetValidDetails d;
        net->isValid(&d);
        return d.msg;
    }
    static std::string NodeMessage(NodeInfo* node) {
        NodeValidDetails d;
        node->isValid(&d);
        return d.msg;
    }
    NetworkConfig& config = App().netConfig;
};

TEST_F(NetworkConfigTest, PortsIdsAndRedundancy) {
    NetworkInfo* a = Net("1");
    NetworkInfo* b = Net("1");
    EXPECT_TRUE(a->redundant);
    EXPECT_TRUE(b->redundant);
    EXPECT_EQ(config.FindNet(1), a);
    EXPECT_EQ(NetMessage(b), "CAN port in use by another network");
    b->setPortStr("2");
    EXPECT_FALSE(a->redundant);
    EXPECT_FALSE(b->redundant);
    EXPECT_EQ(config.FindNet(2), b);
    EXPECT_EQ(NetMessage(b), "");
    EXPECT_TRUE(b->isValid(nullptr));

    NetworkInfo* far = Net("12");
    EXPECT_TRUE(far->isValid(nullptr));  // a valid port that no lookup reaches
    EXPECT_EQ(config.FindNet(12), nullptr);
    far->setPortStr("abc");
    EXPECT_EQ(far->port, -1);
    EXPECT_EQ(NetMessage(far), "Error parsing port number");
    far->setPortStr("64");
    EXPECT_EQ(NetMessage(far), "Invalid CAN port number");
    far->setPortStr("0x3");
    EXPECT_EQ(far->port, 3);
    far->setPortStr("");
    EXPECT_EQ(far->port, 0);
    EXPECT_EQ(NetMessage(far), "");
    far->setEDS("/no/such/file.eds");
    NetValidDetails d;
    EXPECT_FALSE(far->isValid(&d));
    EXPECT_TRUE(d.portOk);
    EXPECT_FALSE(d.edsOk);
    EXPECT_EQ(std::string(d.msg), "Unable to load EDS file");

    NodeInfo* n3 = AddNode(a, "3");
    EXPECT_EQ(n3->name, "Node 3");  // automatic names follow the id
    n3->setIdStr("7");
    EXPECT_EQ(n3->name, "Node 7");
    EXPECT_EQ(a->FindNode(7), n3);
    NodeInfo* motor = AddNode(a, "7");
    motor->name = "Motor";
    EXPECT_TRUE(n3->redundant);
    EXPECT_EQ(NodeMessage(motor), "ID value already in use on network");
    EXPECT_EQ(config.FindNode(1, 7), n3);
    motor->setIdStr("9");
    EXPECT_EQ(motor->name, "Motor");
    EXPECT_FALSE(n3->redundant);
    n3->setIdStr("x");
    EXPECT_EQ(n3->name, "Node -1");
    EXPECT_EQ(NodeMessage(n3), "Error parsing node ID");
    n3->setIdStr("0");
    EXPECT_EQ(NodeMessage(n3), "Invalid node ID (valid range is 1 to 127)");
    EXPECT_EQ(a->FindNode(0), n3);  // mapped all the same
    n3->setIdStr("200");
    EXPECT_EQ(a->FindNode(200), nullptr);
    EXPECT_EQ(config.FindNode(1, 200), nullptr);
    EXPECT_EQ(a->CountNodes(), 2);
    std::unique_ptr<NodeInfo> removed = a->RemoveNode(motor);
    EXPECT_EQ(removed.get(), motor);
    EXPECT_EQ(a->FindNode(9), nullptr);
    EXPECT_EQ(a->CountNodes(), 1);
    NodeInfo copy(n3);
    EXPECT_EQ(copy.network, nullptr);
    EXPECT_EQ(copy.idStr, "200");

    for (int i = 0; i < 7; i++) Net("5");
    EXPECT_FALSE(config.CanAddNet());
    EXPECT_EQ(config.CreateNet(nullptr), nullptr);
}

TEST_F(NetworkConfigTest, FilesRoundTripAndLimits) {
    TempDir dir;
    NetworkInfo* a = Net("0");
    a->name = "Line A";
    a->setEDS("");
    AddNode(a, "5")->name = "Axis";
    AddNode(a, "6");
    NetworkInfo* b = Net("not a port");
    b->name = "Line B";
    AddNode(b, "x");
    const std::string path = dir.file("net.cfg");
    EXPECT_EQ(config.Save(path.c_str()), nullptr);
    const std::string saved = ReadFile(path);

    EXPECT_EQ(config.Load(path.c_str()), nullptr);
    ASSERT_NE(config.Net(0), nullptr);
    EXPECT_EQ(config.Net(0)->name, "Line A");
    EXPECT_EQ(config.Net(0)->Node(0)->name, "Axis");
    EXPECT_EQ(config.Net(0)->Node(1)->name, "Node 6");
    EXPECT_EQ(config.Net(1)->portStr, "not a port");
    EXPECT_EQ(config.Net(1)->Node(0)->name, "Node -1");
    EXPECT_EQ(config.Net(2), nullptr);
    EXPECT_EQ(config.Save(path.c_str()), nullptr);
    EXPECT_EQ(ReadFile(path), saved);

    // A node saved as "Node 1" with another id comes back with its id's name.
    std::string twelve = "[NetCFG]\n";
    for (int i = 0; i < 12; i++)
        twelve += "[Network]\nname:Net " + std::to_string(i) + "\nport:" + std::to_string(i) +
                  "\n[Node]\nname:Node 1\nid:7\n[END]\n[END]\n";
    twelve += "[END]\n";
    WriteFile(path, twelve);
    EXPECT_EQ(config.Load(path.c_str()), nullptr);
    EXPECT_EQ(config.Net(9)->name, "Net 9");
    EXPECT_FALSE(config.CanAddNet());
    EXPECT_EQ(config.Net(0)->Node(0)->name, "Node 7");

    WriteFile(path, "[Other]\n[END]\n");
    EXPECT_STREQ(config.Load(path.c_str()), "File format error");
    EXPECT_EQ(config.Net(0), nullptr);  // emptied
    Net("1");
    WriteFile(path, "# nothing but a comment\n");
    EXPECT_STREQ(config.Load(path.c_str()), "File format error");
    EXPECT_EQ(config.Net(0), nullptr);
    Net("1");
    WriteFile(path, "[NetCFG]\nno colon\n[END]\n");
    EXPECT_STREQ(config.Load(path.c_str()), "File format error");
    EXPECT_NE(config.Net(0), nullptr);  // unchanged by a file that does not read
    EXPECT_STREQ(config.Load(dir.file("missing").c_str()), "Unable to open file");
    EXPECT_STREQ(config.Save(dir.file("no/such/dir").c_str()),
                 "Unable to create configuration file");
}

TEST_F(NetworkConfigTest, NamesObjectsForTheDecoder) {
    TempDir dir;
    WriteFile(dir.file("net.eds"), "[1017]\nParameterName=Heartbeat of the line\n");
    WriteFile(dir.file("node.eds"), "[6040]\nParameterName=Controlword\n");
    NetworkInfo* net = Net("2");
    net->setEDS(dir.file("net.eds"));
    NodeInfo* node = AddNode(net, "5");
    node->setEDS(dir.file("node.eds"));
    NodeInfo* broken = AddNode(net, "6");
    EXPECT_TRUE(broken->setEDS(dir.file("missing.eds")));

    CANopenNode five(2, 5), six(2, 6), seven(2, 7), elsewhere(3, 5);
    EXPECT_EQ(five.GetObjName(0x60400000), "Controlword");
    EXPECT_EQ(five.GetObjName(0x10170000), "object 0x1017");  // the node's own file decides
    EXPECT_EQ(six.GetObjName(0x10170000), "Heartbeat of the line");
    EXPECT_EQ(seven.GetObjName(0x10170000), "Heartbeat of the line");
    EXPECT_EQ(seven.GetObjName(0x10170003), "object 0x1017.0x03");
    EXPECT_EQ(elsewhere.GetObjName(0x60400000), "object 0x6040");
    net->setPortStr("3");
    EXPECT_EQ(elsewhere.GetObjName(0x60400000), "Controlword");
    EXPECT_EQ(five.GetObjName(0x60400000), "object 0x6040");
}

}  // namespace
