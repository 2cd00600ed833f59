#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "filter/fe_list.h"
#include "filter/filter_logic.h"
#include "support/test_support.h"

namespace {

// Which of four frames pass, as "0"/"1" each: no SDO object on port 0; an extended identifier
// on port 1 addressing object 0x1018.1; 0x1018.2 on port 3; 0x2000.0 on port 1.
std::string Passes(const FilterElement& e) {
    const uint32_t frames[] = {0x181, 0,          0, 0x12345181, 0x10180001, 1,
                               0x182, 0x10180002, 3, 0x1FFFFFFF, 0x20000000, 1};
    std::string passes;
    for (int i = 0; i < 12; i += 3) {
        CANframe f;
        f.id = frames[i];
        f.extended = f.id > 0x7FF;
        f.objID = frames[i + 1];
        f.port = static_cast<uint8_t>(frames[i + 2]);
        passes += e.Match(f) ? '1' : '0';
    }
    return passes;
}

TEST(FilterElementTest, MatchesDescriptionsAndCopies) {
    using O = FeObjID;
    const struct {
        std::unique_ptr<FilterElement> element;
        const char* passes;
        const char* desc;
    } cases[] = {
        // Identifiers: all 32 bits under the mask, extended or not.
        {std::make_unique<FeCanID>(0, 0), "1111", "CANID & 0x0000 == 0x0000"},
        {std::make_unique<FeCanID>(0x181, 0x7FF), "1100", "CANID & 0x07ff == 0x0181"},
        {std::make_unique<FeCanID>(0x5181, 0x1FFFF), "0100", "CANID & 0x0001ffff == 0x00005181"},
        {std::make_unique<FeCanID>(0x10000, 0xFFFF), "0000", "CANID & 0x0000ffff == 0x00010000"},
        {std::make_unique<FeCanID>(0xFFFF, 0xFFFF), "0001", "CANID & 0xffff == 0xffff"},
        // Any sub-index: the index alone is compared; frames no SDO touched carry object 0.
        {std::make_unique<O>(0x1000, -1, O::kLess), "1000", "Object ID < 0x1000"},
        {std::make_unique<O>(0x1018, -1, O::kEqual), "0110", "Object ID == 0x1018"},
        {std::make_unique<O>(0x1018, -1, O::kGreater), "0001", "Object ID > 0x1018"},
        {std::make_unique<O>(0x1018, -1, O::kGreaterEqual), "0111", "Object ID >= 0x1018"},
        // With a sub-index: by index, then sub-index; only 16 and 8 bits of them count.
        {std::make_unique<O>(0x1018, 1, O::kEqual), "0100", "Object ID == 0x1018.1"},
        {std::make_unique<O>(0x1018, 2, O::kLess), "1100", "Object ID < 0x1018.2"},
        {std::make_unique<O>(0x1018, 1, O::kLessEqual), "1100", "Object ID <= 0x1018.1"},
        {std::make_unique<O>(0x2000, 0, O::kGreaterEqual), "0001", "Object ID >= 0x2000.0"},
        {std::make_unique<O>(0x6040, 255, O::kLessEqual), "1111", "Object ID <= 0x6040.255"},
        {std::make_unique<O>(0x51018, 0x102, O::kEqual), "0010", "Object ID == 0x51018.258"},
        // An index beyond 16 bits with any sub-index lies above every frame.
        {std::make_unique<O>(0x10000, -1, O::kLess), "1111", "Object ID < 0x10000"},
        {std::make_unique<O>(0x10000, -1, O::kEqual), "0000", "Object ID == 0x10000"},
        {std::make_unique<FePort>(1), "0101", "Port == 1"},
    };
    for (const auto& c : cases) {
        c.element->SetDesc("user text");
        const std::unique_ptr<FilterElement> copy = c.element->Copy();
        EXPECT_EQ(Passes(*c.element) + Passes(*copy), std::string(c.passes) + c.passes) << c.desc;
        const int type = c.desc[0] == 'C' ? 0 : c.desc[0] == 'O' ? 1 : 2;
        EXPECT_EQ(std::make_pair(c.element->feType(), copy->feType()), std::make_pair(type, type));
        EXPECT_TRUE(copy->desc.empty() && !copy->descSet) << c.desc;  // not the user's text
        copy->BuildDfltDesc();
        EXPECT_EQ(copy->desc, c.desc);
    }
    FePort port(1);  // user descriptions are trimmed; a blank one brings the default back
    port.SetDesc("  left motor bus \t");
    EXPECT_TRUE(port.desc == "left motor bus" && port.descSet);
    port.SetDesc(" \t ");
    EXPECT_TRUE(port.desc.empty() && !port.descSet);

    // A comparison out of range passes nothing until the description clamps it.
    FeObjID low(0x1000, -1, -7), high(0x1000, -1, 9);
    EXPECT_EQ(Passes(low) + Passes(high), "00000000");
    low.BuildDfltDesc();
    high.BuildDfltDesc();
    EXPECT_EQ(low.desc + ", " + high.desc, "Object ID < 0x1000, Object ID > 0x1000");
    EXPECT_EQ(Passes(low) + Passes(high), "10000111");
}

// A full element list: A to D test one identifier bit each (A bit 0 ... D bit 3); E to X1 test
// the port equal to their slot.
class FilterLogicTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (uint32_t bit = 0; bit < 4; bit++)
            list.Add(std::make_unique<FeCanID>(1u << bit, 1u << bit));
        for (uint32_t slot = 4; slot < FeList::kMaxElements; slot++)
            list.Add(std::make_unique<FePort>(slot));
    }
    // What expr's filter passes, "0"/"1" each: identifiers 0 to 15 on port 0, then identifier 0
    // on each of ports; or the code and message of its error.
    std::string Answers(const std::string& expr, std::vector<int> ports = {4, 26, 27, 49}) {
        std::unique_ptr<FilterLogic> filter;
        const std::string error = ThrownError([&] { filter = CreateFilterLogic(expr, list); });
        if (!filter) return error;
        std::string passes;
        CANframe f;
        for (f.id = 0; f.id < 16; f.id++) passes += filter->Match(f) ? '1' : '0';
        f.id = 0;
        for (int port : ports) {
            f.port = static_cast<uint8_t>(port);
            passes += filter->Match(f) ? '1' : '0';
        }
        return passes;
    }

    FeList list;
};

TEST_F(FilterLogicTest, ExpressionsPassWhatTheirGrammarSays) {
    std::istringstream lines(ReadFile(TEST_DATA_DIR "/../../filter/data/expressions.txt"));
    int cases = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line[0] == '#') continue;
        const size_t tab = line.find('\t');
        EXPECT_EQ(Answers(line.substr(tab + 1)), line.substr(0, tab)) << line;
        cases++;
    }
    EXPECT_EQ(cases, 42);
    EXPECT_EQ(Answers(std::string(100, '(') + "A" + std::string(100, ')')), Answers("A"));
    // A pasted wall of operators is refused, not a stack overflow in the parser or in Match on a
    // reader thread.
    std::string chain = "A";
    for (int i = 0; i < 5000; i++) chain += "&A";
    for (const std::string& expr : {std::string(5000, '!') + "A", chain,
                                    std::string(5000, '(') + "A" + std::string(5000, ')')})
        EXPECT_EQ(Answers(expr), "16 Error parsing filter string: too deeply nested");
}

TEST_F(FilterLogicTest, TheListNamesElementsBySlotAndFiltersCopyThem) {
    EXPECT_EQ(FeList::Letter(0) + FeList::Letter(25) + FeList::Letter(26) + FeList::Letter(49),
              "AZA1X1");
    EXPECT_FALSE(list.Add(std::make_unique<FePort>(50)));  // a 51st element is dropped
    EXPECT_TRUE(list.At(-1) == nullptr && list.At(50) == nullptr);
    EXPECT_NE(list.Find("A").get(), list.At(0));  // a copy: the list keeps its own

    std::unique_ptr<FilterLogic> filter = CreateFilterLogic("A & A", list);
    // Editing A moves it to the end, the later ones up a letter; the filter keeps its copy.
    list.Replace(0, std::make_unique<FePort>(77));
    EXPECT_EQ(Answers("A", {}) + Answers("W1", {49, 77}) + Answers("X1", {49, 77}),
              "0011001100110011"
              "000000000000000010"
              "000000000000000001");
    list.Delete(50);  // nothing there
    list.Delete(-1);
    list.Delete(0);
    EXPECT_EQ(list.Count(), 49);
    list.Replace(-1, std::make_unique<FePort>(88));  // no selection: appended
    EXPECT_EQ(Answers("A", {}) + Answers("X1", {88}),
              "0000111100001111"
              "00000000000000001");
    // Names of empty slots are undefined too, and a deleted letter fails at the next parse.
    list.Delete(3);
    EXPECT_EQ(Answers("A | X1"), "16 Undefined filter element X1 in string");
    list = FeList();
    EXPECT_EQ(Answers("A"), "16 Undefined filter element A in string");
    CANframe f;
    for (f.id = 0; f.id < 4; f.id++) EXPECT_EQ(filter->Match(f), f.id % 2 == 1);
}

// Renaming reads names as the parser does: a letter with its digit is one name, and the rest of
// the text stays as typed, also in an expression that does not parse.
TEST(RenameElementsTest, RenamesWholeNamesOnly) {
    const auto shifted = [](const std::string& name) {
        const int slot = FeList::Slot(name);
        return slot == 1               ? std::string(FeList::kDeletedName)
               : slot > 1 && slot < 30 ? FeList::Letter(slot - 1)
                                       : name;
    };
    for (auto [expr, renamed] : {std::pair{"A & !B", "A & !Z9"},
                                 {"(c|B1) & !(a | D)", "(B|A1) & !(a | C)"},
                                 {"  C1|E5 ", "  B1|E5 "},  // E5: beyond the list, as it was
                                 {"C & 7 D ~", "B & 7 C ~"},
                                 {"", ""}})
        EXPECT_EQ(RenameElements(expr, shifted), renamed) << expr;
    EXPECT_EQ(FeList::Slot("c") * 1000 + FeList::Slot("B1") + FeList::Slot("7") + 1, 2027);
}

}  // namespace
