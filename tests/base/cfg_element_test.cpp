#include "base/cfg_element.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace {

// Loads the first element of text: the CfgFileErr code, or 0 when it loaded.
int Load(const std::string& text, std::unique_ptr<CfgElement>* out = nullptr) {
    TempDir dir;
    WriteFile(dir.file("c.cfg"), text);
    try {
        auto e = CfgElement::load(dir.file("c.cfg").c_str());
        if (out) *out = std::move(e);
        return 0;
    } catch (const CfgFileErr& e) {
        return e.code;
    }
}

std::string Saved(const CfgElement& e) {
    TempDir dir;
    EXPECT_EQ(e.save(dir.file("s.cfg").c_str()), 0);
    return ReadFile(dir.file("s.cfg"));
}

TEST(CfgElementTest, WritesAndReadsBack) {
    CfgElement root("NetCFG");
    auto net = std::make_unique<CfgElement>("Network");
    net->addLeaf("start", "12:30:05");                  // a value may hold colons
    net->addLeaf("path", "/" + std::string(600, 'p'));  // longer than any fixed line buffer
    root.addChild(std::move(net));
    root.addLeaf("empty", "");
    const std::string text = Saved(root);
    EXPECT_EQ(text, "[NetCFG]\n   [Network]\n      start:12:30:05\n      path:/" +
                        std::string(600, 'p') + "\n   [END]\n   empty:\n[END]\n");
    std::unique_ptr<CfgElement> back;
    ASSERT_EQ(Load(text, &back), 0);
    EXPECT_EQ(Saved(*back), text);
}

TEST(CfgElementTest, ReadsLooseSyntax) {
    std::unique_ptr<CfgElement> e;
    ASSERT_EQ(Load("\r\n# comment\n   # indented\n\n  [ Top ]  \r\n  key  :  a value :x \r\n"
                   "[Empty]\n[END]\n[ END ]\n[Ignored]\n",
                   &e),
              0);
    EXPECT_EQ(e->name, "Top");
    ASSERT_EQ(e->children.size(), 2u);
    EXPECT_EQ(e->children[0]->value, "a value :x");
    // A group without children reads back as a leaf with an empty value.
    EXPECT_EQ(Saved(*e), "[Top]\n   key:a value :x\n   Empty:\n[END]\n");

    ASSERT_EQ(Load("# nothing\n\n", &e), 0);
    EXPECT_EQ(e, nullptr);
}

TEST(CfgElementTest, KnowsTheLineOfEveryElementAndError) {
    std::unique_ptr<CfgElement> e;
    ASSERT_EQ(Load("# c\n\n[Top]\n   a:1\n   [In]\n      b:2\n   [END]\n[END]\n", &e), 0);
    EXPECT_EQ(e->line, 3);
    EXPECT_EQ(e->children[0]->line, 4);
    EXPECT_EQ(e->children[1]->line, 5);
    EXPECT_EQ(e->children[1]->children[0]->line, 6);

    TempDir dir;
    WriteFile(dir.file("c.cfg"), "[Top]\n   a:1\n\n   no colon\n[END]\n");
    try {
        CfgElement::load(dir.file("c.cfg").c_str());
        ADD_FAILURE();
    } catch (const CfgFileErr& err) {
        EXPECT_EQ(err.code, CfgFileErr::FORMAT);
        EXPECT_EQ(err.line, 4);
    }
}

TEST(CfgElementTest, ReportsErrors) {
    for (const char* bad : {"[Top]\n   a:1\n", "[Top]\n   no colon\n[END]\n", "[Top\n[END]\n",
                            "[\n", "[   ]\n", "[Top]\n  :value\n[END]\n"})
        EXPECT_EQ(Load(bad), 2) << bad;
    EXPECT_EQ(Load("# c\n [ END ]\n[Top]\n[END]\n"), 3);

    // Nesting beyond reason is refused instead of exhausting the stack.
    std::string deep;
    for (int i = 0; i < 100000; i++) deep += "[a]\n";
    EXPECT_EQ(Load(deep), 2);

    TempDir dir;
    EXPECT_THROW(CfgElement::load(dir.file("missing.cfg").c_str()), CfgFileErr);
    CfgElement e("a", "b");
    EXPECT_EQ(e.save(dir.file("no/such/dir.cfg").c_str()), CfgElement::OPEN_FAILED);
    EXPECT_EQ(e.save("/dev/full"), CfgElement::WRITE_FAILED);  // a full disk is no success
}

// A child process whose files may not grow past 100 bytes saves over a file: the save fails
// half-way, and the old file is still whole.
[[noreturn]] void SaveBeyondTheSizeLimit(const std::string& path) {
    const rlimit small = {100, 100};
    std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &small) != 0) std::_Exit(2);
    CfgElement big("big", std::string(1000, 'b'));
    std::_Exit(big.save(path.c_str()) == CfgElement::WRITE_FAILED ? 0 : 3);
}

TEST(CfgElementTest, AFailedSaveLeavesTheOldFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    const std::string path = dir.file("old.cfg");
    ASSERT_EQ(CfgElement("old", "kept").save(path.c_str()), 0);
    EXPECT_EXIT(SaveBeyondTheSizeLimit(path), testing::ExitedWithCode(0), "");
    EXPECT_EQ(CfgElement("name", "two\nlines").save(path.c_str()), CfgElement::BAD_TEXT);
    EXPECT_EQ(ReadFile(path), "old:kept\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temp
}

}  // namespace
