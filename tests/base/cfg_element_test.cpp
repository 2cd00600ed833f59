#include "base/cfg_element.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <utility>

#include "support/test_support.h"

namespace {

std::string Saved(const CfgElement& e) {
    TempDir dir;
    EXPECT_EQ(e.save(dir.file("s.cfg").c_str()), 0);
    return ReadFile(dir.file("s.cfg"));
}

// Loads the first element of text: saved again ("" for none), or the CfgFileErr, its line and
// reason.
std::string Reload(const std::string& text, std::unique_ptr<CfgElement>* out = nullptr) {
    TempDir dir;
    WriteFile(dir.file("c.cfg"), text);
    try {
        std::unique_ptr<CfgElement> e = CfgElement::load(dir.file("c.cfg").c_str());
        const std::string saved = e ? Saved(*e) : "";
        if (out) *out = std::move(e);
        return saved;
    } catch (const CfgFileErr& e) {
        return "error " + std::to_string(e.code) + " at line " + std::to_string(e.line) + ": " +
               e.reason;
    }
}

TEST(CfgElementTest, WritesAndReadsBack) {
    CfgElement root("NetCFG");
    auto net = std::make_unique<CfgElement>("Network");
    net->addLeaf("start", "12:30:05");                  // a value may hold colons
    net->addLeaf("path", "/" + std::string(600, 'p'));  // longer than any fixed line buffer
    root.addChild(std::move(net));
    root.addLeaf("empty", "");
    root.addLeaf("nul", std::string("a\0b", 3));  // written whole, not cut at the NUL
    const std::string text = Saved(root);
    EXPECT_EQ(text, "[NetCFG]\n   [Network]\n      start:12:30:05\n      path:/" +
                        std::string(600, 'p') +
                        "\n   [END]\n   empty:\n   nul:" + std::string("a\0b", 3) + "\n[END]\n");
    EXPECT_EQ(Reload(text), text);
}

TEST(CfgElementTest, ReadsLooseSyntaxAndKnowsTheLineOfEveryElementAndError) {
    std::string deep;  // nesting beyond reason is refused instead of exhausting the stack
    for (int i = 0; i < 100000; i++) deep += "[a]\n";
    const std::pair<std::string, std::string> cases[] = {
        // A group without children reads back as a leaf with an empty value.
        {"\r\n# comment\n   # indented\n\n  [ Top ]  \r\n  key  :  a value :x \r\n"
         "[Empty]\n[END]\n[ END ]\n[Ignored]\n",
         "[Top]\n   key:a value :x\n   Empty:\n[END]\n"},
        {deep, "error 2 at line 101: groups nested too deeply"},
    };
    for (const auto& c : cases) EXPECT_EQ(Reload(c.first), c.second) << c.first.substr(0, 80);
    ExpectCaseFile(TEST_DATA_DIR "/../../base/data/cfg_elements.txt", "$ c.cfg",
                   [](const std::string& text) {
                       const std::string loaded = Reload(text);
                       return loaded.empty() || loaded.back() == '\n' ? loaded : loaded + "\n";
                   });

    std::unique_ptr<CfgElement> e;
    Reload("# c\n\n[Top]\n   a:1\n   [In]\n      b:2\n   [END]\n[END]\n", &e);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(std::to_string(e->line) + std::to_string(e->children[0]->line) +
                  std::to_string(e->children[1]->line) +
                  std::to_string(e->children[1]->children[0]->line),
              "3456");

    TempDir dir;
    EXPECT_THROW(CfgElement::load(dir.file("missing.cfg").c_str()), CfgFileErr);
    CfgElement leaf("a", "b");
    EXPECT_EQ(leaf.save(dir.file("no/such/dir.cfg").c_str()), CfgElement::OPEN_FAILED);
    EXPECT_EQ(leaf.save("/dev/full"), CfgElement::WRITE_FAILED);  // a full disk is no success
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
