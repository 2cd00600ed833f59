#include "filter/filter_logic.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/quillon.h"
#include "base/quillon_error.h"
#include "filter/headless_filt_dialog.h"

namespace {

// A to D test one identifier bit each (A bit 0 ... D bit 3); E to X1 test the port equal to
// their slot.
class FilterLogicTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto dialog = std::make_unique<HeadlessFiltDialog>();
        for (uint32_t bit = 0; bit < 4; bit++)
            dialog->AddFE(std::make_unique<FeCanID>(1u << bit, 1u << bit));
        for (uint32_t slot = 4; slot < FeList::kMaxElements; slot++)
            dialog->AddFE(std::make_unique<FePort>(slot));
        this->dialog = dialog.get();
        App().filtDialog = std::move(dialog);
    }
    void TearDown() override { App().filtDialog.reset(); }

    static CANframe Frame(uint32_t id, uint8_t port = 0) {
        CANframe f;
        f.id = id;
        f.port = port;
        return f;
    }

    // The expression's answers for identifiers 0..15 as a bit set.
    static unsigned Truth(const std::string& expr) {
        std::unique_ptr<FilterLogic> filter = CreateFilterLogic(expr);
        unsigned truth = 0;
        for (uint32_t id = 0; id < 16; id++)
            if (filter->Match(Frame(id))) truth |= 1u << id;
        return truth;
    }
    static unsigned Truth(const std::function<bool(bool, bool, bool, bool)>& f) {
        unsigned truth = 0;
        for (uint32_t id = 0; id < 16; id++)
            if (f(id & 1, id & 2, id & 4, id & 8)) truth |= 1u << id;
        return truth;
    }

    static std::string Error(const std::string& expr) {
        try {
            CreateFilterLogic(expr);
        } catch (const QuillonError& e) {
            EXPECT_EQ(e.code, 16) << expr;
            return e.message;
        }
        return "(accepted)";
    }

    HeadlessFiltDialog* dialog = nullptr;
};

TEST_F(FilterLogicTest, GrammarGroupsToTheRight) {
    using B = bool;
    EXPECT_EQ(Truth(""), 0xFFFFu);
    EXPECT_EQ(Truth(" \t "), 0xFFFFu);
    EXPECT_EQ(Truth("A"), Truth([](B a, B, B, B) { return a; }));
    EXPECT_EQ(Truth("a"), Truth("A"));
    EXPECT_EQ(Truth("A0"), Truth("A"));
    EXPECT_EQ(Truth("  B "), Truth([](B, B b, B, B) { return b; }));
    EXPECT_EQ(Truth("A & B | D"), Truth([](B a, B b, B, B d) { return a && (b || d); }));
    EXPECT_EQ(Truth("A | B & D"), Truth([](B a, B b, B, B d) { return a || (b && d); }));
    EXPECT_EQ(Truth("A & B & D"), Truth([](B a, B b, B, B d) { return a && b && d; }));
    EXPECT_EQ(Truth("!A & B"), Truth([](B a, B b, B, B) { return !a && b; }));
    EXPECT_EQ(Truth("!!A"), Truth("A"));
    EXPECT_EQ(Truth("! A"), Truth([](B a, B, B, B) { return !a; }));
    EXPECT_EQ(Truth("(A | B) & D"), Truth([](B a, B b, B, B d) { return (a || b) && d; }));
    EXPECT_EQ(Truth("((A))|(!(B&C))"), Truth([](B a, B b, B c, B) { return a || !(b && c); }));
    EXPECT_EQ(Truth("A|B&C|D"), Truth([](B a, B b, B c, B d) { return a || (b && (c || d)); }));
    EXPECT_EQ(Truth("!(A|B)&!C|D"),
              Truth([](B a, B b, B c, B d) { return !(a || b) && (!c || d); }));

    // Names beyond Z: A1 is the 27th element, X1 the 50th.
    std::unique_ptr<FilterLogic> f = CreateFilterLogic("A1");
    EXPECT_TRUE(f->Match(Frame(0, 26)));
    EXPECT_FALSE(f->Match(Frame(0, 27)));
    f = CreateFilterLogic("x1 | E");
    EXPECT_TRUE(f->Match(Frame(0, 49)));
    EXPECT_TRUE(f->Match(Frame(0, 4)));
    EXPECT_FALSE(f->Match(Frame(0, 5)));
}

TEST_F(FilterLogicTest, MalformedExpressionsFailWithTheirMessage) {
    const struct {
        const char* expr;
        const char* message;
    } cases[] = {
        {"()", "Error parsing filter (empty string)."},
        {"( )", "Error parsing filter (empty string)."},
        {"A &", "Error parsing filter (empty string)."},
        {"A | ", "Error parsing filter (empty string)."},
        {"(A) & ()", "Error parsing filter (empty string)."},
        {"(A", "Error parsing filter string: Unbalanced parenthesis"},
        {"(", "Error parsing filter string: Unbalanced parenthesis"},
        {"((A)", "Error parsing filter string: Unbalanced parenthesis"},
        {"A)", "Unknown operator in string: )"},
        {"AB", "Unknown operator in string: B"},
        {"A B", "Unknown operator in string: B"},
        {"A12", "Unknown operator in string: 2"},
        {"A ^ B", "Unknown operator in string: ^"},
        {"(A)(B)", "Unknown operator in string: ("},
        {"A & !", "Error parsing filter string"},
        {"!", "Error parsing filter string"},
        {"A && B", "Error parsing filter string at: & B"},
        {"A || B", "Error parsing filter string at: | B"},
        {"~A", "Error parsing filter string at: ~A"},
        {"1", "Error parsing filter string at: 1"},
        {"A & (B | 7 )", "Error parsing filter string at: 7"},
        {"Y1", "Undefined filter element Y1 in string"},
        {"A | z1", "Undefined filter element z1 in string"},
        {"A & (B | @", "Error parsing filter string: Unbalanced parenthesis"},
    };
    for (const auto& c : cases) EXPECT_EQ(Error(c.expr), c.message) << c.expr;

    // Names of empty slots are undefined too, and a deleted letter fails at the next parse.
    dialog->Select(3);
    dialog->Delete();
    EXPECT_EQ(Error("A | X1"), "Undefined filter element X1 in string");
    App().filtDialog.reset();
    EXPECT_EQ(Error("A"), "Undefined filter element A in string");
}

TEST_F(FilterLogicTest, NestingIsBoundedNotACrash) {
    // Deep but sensible nesting parses; a pasted wall of operators is refused, not a stack
    // overflow in the parser or in Match on a reader thread.
    std::string deep = std::string(100, '(') + "A" + std::string(100, ')');
    EXPECT_EQ(Truth(deep), Truth("A"));
    EXPECT_EQ(Error(std::string(5000, '!') + "A"),
              "Error parsing filter string: too deeply nested");
    std::string chain = "A";
    for (int i = 0; i < 5000; i++) chain += "&A";
    EXPECT_EQ(Error(chain), "Error parsing filter string: too deeply nested");
    EXPECT_EQ(Error(std::string(5000, '(') + "A" + std::string(5000, ')')),
              "Error parsing filter string: too deeply nested");
}

TEST_F(FilterLogicTest, FiltersHoldCopiesOfTheElements) {
    std::unique_ptr<FilterLogic> filter = CreateFilterLogic("A & A");
    // Editing A in the dialog (it moves to the end) and deleting what is left leaves the
    // filter as it was built.
    dialog->Select(0);
    dialog->ReplaceFE(std::make_unique<FePort>(7));
    dialog->Select(0);
    for (int i = 0; i < FeList::kMaxElements; i++) dialog->Delete();
    EXPECT_EQ(dialog->Elements().Count(), 0);
    EXPECT_TRUE(filter->Match(Frame(1)));
    EXPECT_FALSE(filter->Match(Frame(2)));
}

}  // namespace
