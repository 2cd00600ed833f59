#include "filter/filter_element.h"

#include <gtest/gtest.h>

namespace {

CANframe Frame(uint32_t id, uint32_t objID = 0, uint8_t port = 0) {
    CANframe f;
    f.id = id;
    f.objID = objID;
    f.port = port;
    return f;
}

std::string Desc(FilterElement&& e) {
    e.BuildDfltDesc();
    return e.desc;
}

TEST(FilterElementTest, IdentifierUnderMask) {
    FeCanID all(0, 0);
    EXPECT_TRUE(all.Match(Frame(0)));
    EXPECT_TRUE(all.Match(Frame(0x1FFFFFFF)));

    FeCanID tpdo1(0x181, 0x7FF);
    EXPECT_TRUE(tpdo1.Match(Frame(0x181)));
    EXPECT_FALSE(tpdo1.Match(Frame(0x182)));
    CANframe ext = Frame(0x12345181);
    ext.extended = 1;
    EXPECT_TRUE(tpdo1.Match(ext));  // the low eleven bits decide, extended or not
    EXPECT_EQ(tpdo1.feType(), 0);

    EXPECT_EQ(Desc(FeCanID(0x181, 0x7FF)), "CANID & 0x07ff == 0x0181");
    EXPECT_EQ(Desc(FeCanID(0x100, 0x1FFFF)), "CANID & 0x0001ffff == 0x00000100");
    EXPECT_EQ(Desc(FeCanID(0x10000, 0xFFFF)), "CANID & 0x0000ffff == 0x00010000");
    EXPECT_EQ(Desc(FeCanID(0xFFFF, 0xFFFF)), "CANID & 0xffff == 0xffff");
}

TEST(FilterElementTest, ObjectComparisons) {
    const CANframe untouched = Frame(0x181);
    const CANframe identity1 = Frame(0x581, 0x10180001);
    const CANframe device = Frame(0x581, 0x20000000);

    // Any sub-index: the index alone is compared, and frames no SDO touched carry object 0.
    EXPECT_TRUE(FeObjID(0x1000, -1, FeObjID::kLess).Match(untouched));
    EXPECT_TRUE(FeObjID(0, -1, FeObjID::kEqual).Match(untouched));
    EXPECT_TRUE(FeObjID(0x1018, -1, FeObjID::kEqual).Match(identity1));
    EXPECT_FALSE(FeObjID(0x1018, -1, FeObjID::kGreater).Match(identity1));
    EXPECT_TRUE(FeObjID(0x1018, -1, FeObjID::kGreaterEqual).Match(identity1));

    // A sub-index orders by index, then sub-index.
    EXPECT_TRUE(FeObjID(0x1018, 1, FeObjID::kEqual).Match(identity1));
    EXPECT_FALSE(FeObjID(0x1018, 2, FeObjID::kEqual).Match(identity1));
    EXPECT_TRUE(FeObjID(0x1018, 2, FeObjID::kLess).Match(identity1));
    EXPECT_TRUE(FeObjID(0x1018, 1, FeObjID::kLessEqual).Match(identity1));
    EXPECT_TRUE(FeObjID(0x2000, 0, FeObjID::kGreaterEqual).Match(device));
    EXPECT_FALSE(FeObjID(0x2000, 0, FeObjID::kGreaterEqual).Match(identity1));
    // Only the low 16 bits of the index and 8 of the sub-index make the key.
    EXPECT_TRUE(FeObjID(0x51018, 0x101, FeObjID::kEqual).Match(identity1));

    // An index beyond 16 bits with any sub-index lies above every frame.
    for (const CANframe& f : {untouched, identity1, device}) {
        EXPECT_TRUE(FeObjID(0x10000, -1, FeObjID::kLess).Match(f));
        EXPECT_TRUE(FeObjID(0x10000, -1, FeObjID::kLessEqual).Match(f));
        EXPECT_FALSE(FeObjID(0x10000, -1, FeObjID::kEqual).Match(f));
        EXPECT_FALSE(FeObjID(0x10000, -1, FeObjID::kGreaterEqual).Match(f));
        EXPECT_FALSE(FeObjID(0x10000, -1, FeObjID::kGreater).Match(f));
    }

    // A comparison out of range passes nothing until the description clamps it.
    FeObjID low(0x1000, -1, -7), high(0x1000, -1, 9);
    EXPECT_FALSE(low.Match(untouched));
    EXPECT_FALSE(high.Match(device));
    low.BuildDfltDesc();
    high.BuildDfltDesc();
    EXPECT_EQ(low.compare, FeObjID::kLess);
    EXPECT_EQ(low.desc, "Object ID < 0x1000");
    EXPECT_TRUE(low.Match(untouched));
    EXPECT_EQ(high.desc, "Object ID > 0x1000");
    EXPECT_TRUE(high.Match(device));
    EXPECT_EQ(high.feType(), 1);

    EXPECT_EQ(Desc(FeObjID(0x1018, 1, 0)), "Object ID == 0x1018.1");
    EXPECT_EQ(Desc(FeObjID(0x6040, 255, -1)), "Object ID <= 0x6040.255");
    EXPECT_EQ(Desc(FeObjID(0x6040, -1, 1)), "Object ID >= 0x6040");
    EXPECT_EQ(Desc(FeObjID(0x12345, -1, 2)), "Object ID > 0x12345");
}

TEST(FilterElementTest, PortDescriptionsAndCopies) {
    FePort port(1);
    EXPECT_TRUE(port.Match(Frame(0x181, 0, 1)));
    EXPECT_FALSE(port.Match(Frame(0x181, 0, 0)));
    EXPECT_EQ(port.feType(), 2);
    EXPECT_EQ(Desc(FePort(3)), "Port == 3");

    port.SetDesc("  left motor bus \t");
    EXPECT_EQ(port.desc, "left motor bus");
    EXPECT_TRUE(port.descSet);
    port.SetDesc("   ");
    EXPECT_EQ(port.desc, "");
    EXPECT_FALSE(port.descSet);  // the default description is shown again

    // A copy keeps the test, not the user's description.
    FeObjID obj(0x1018, 1, FeObjID::kLessEqual);
    obj.SetDesc("identity");
    std::unique_ptr<FilterElement> copy = obj.Copy();
    EXPECT_EQ(copy->desc, "");
    EXPECT_FALSE(copy->descSet);
    EXPECT_EQ(copy->feType(), 1);
    for (uint32_t objID : {0u, 0x10180000u, 0x10180001u, 0x10180002u, 0x60400000u})
        EXPECT_EQ(copy->Match(Frame(0x581, objID)), obj.Match(Frame(0x581, objID))) << objID;
    FeCanID id(0x181, 0x7FF);
    std::unique_ptr<FilterElement> idCopy = id.Copy();
    EXPECT_TRUE(idCopy->Match(Frame(0x981)));
    EXPECT_FALSE(idCopy->Match(Frame(0x182)));
    std::unique_ptr<FilterElement> portCopy = port.Copy();
    EXPECT_TRUE(portCopy->Match(Frame(0, 0, 1)));
    EXPECT_FALSE(portCopy->Match(Frame(0, 0, 2)));
}

}  // namespace
