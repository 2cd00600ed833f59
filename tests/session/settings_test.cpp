#include "session/settings.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "base/utils.h"
#include "support/expected_texts.h"
#include "support/test_support.h"

namespace {

// Preferences loaded with HOME in a fresh folder, after writing prefs.cfg when given.
struct Loaded {
    TempDir home;
    std::unique_ptr<QL_Settings> s;
    std::string out, err;
    std::string file() const { return ReadFile(home.file(".Quillon/prefs.cfg")); }
    // The values, the home folder written as ~.
    std::string values() const {
        auto path = [&](const std::string& p) { return p == home.path() ? "~" : p; };
        return Format("font %d size %d max %d unsaved %d ", s->font, s->fontSize, s->maxMessages,
                      s->defaultsUnsaved) +
               path(s->edsPath) + " " + path(s->netCfgPath) + " " + s->netCfgDflt;
    }
};

std::unique_ptr<Loaded> Load(const char* prefs = nullptr) {
    auto l = std::make_unique<Loaded>();
    if (prefs) {
        mkdir(l->home.file(".Quillon").c_str(), 0700);
        WriteFile(l->home.file(".Quillon/prefs.cfg"), prefs);
    }
    ScopedEnv home("HOME", l->home.path().c_str());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    l->s = std::make_unique<QL_Settings>();
    l->out = testing::internal::GetCapturedStdout();
    l->err = testing::internal::GetCapturedStderr();
    return l;
}

TEST(SettingsTest, DefaultsAreWrittenOnlyWhenAsked) {
    auto l = Load();
    EXPECT_TRUE(l->file().empty() && l->s->defaultsUnsaved);  // loading writes nothing
    l->s->save();
    EXPECT_EQ(l->file(), DefaultPreferences(l->home.path()));
    EXPECT_FALSE(l->s->defaultsUnsaved);
    struct stat st;
    ASSERT_EQ(stat(l->home.file(".Quillon").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(l->out + l->err, "");
    l->s->netCfgDflt = "/nets/plant.cfg";
    l->s->save();
    EXPECT_EQ(Load(l->file().c_str())->s->netCfgDflt, "/nets/plant.cfg");
    l->s->prefsFile = "/dev/full";
    testing::internal::CaptureStderr();
    l->s->save();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error 2 saving preferences\n");
}

// The cases of data/settings.txt: after "$ prefs.cfg" a preferences file, after "$ loaded" the
// values loading it gives (font, font size, store capacity, whether the defaults are unsaved, EDS
// folder, configuration folder, default configuration; ~ for the home folder) and what it says.
TEST(SettingsTest, ReadsValuesAndReportsProblems) {
    const std::string expected = ReadFile(TEST_DATA_DIR "/../../session/data/settings.txt");
    std::istringstream lines(expected);
    std::string got, prefs;
    bool inPrefs = false;
    for (std::string line; std::getline(lines, line);) {
        if (inPrefs && line != "$ loaded") {
            prefs += line + "\n";
        } else if (line == "$ loaded") {
            auto l = Load(prefs.c_str());
            EXPECT_EQ(l->file(), prefs);  // never rewritten: a broken file is the user's to mend
            got += prefs + line + "\n" + l->values() + "\n" + l->out + l->err;
            prefs.clear();
            inPrefs = false;
        } else if (line[0] == '#' || line == "$ prefs.cfg") {
            got += line + "\n";
            inPrefs = line[0] == '$';
        }
    }
    EXPECT_EQ(got, expected);
    // A store larger than the machine's memory would fail only once it has filled it.
    if (uint64_t(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE) < (uint64_t(76) << 31)) {
        auto l = Load("[Quillon]\nMax_Messages:2147483647\n[END]\n");
        EXPECT_EQ(l->s->maxMessages, 10000000);
        EXPECT_EQ(
            l->err,
            "Max_Messages 2147483647 is too large for this machine's memory; using 10000000\n");
    }
}

// The memory check counts what a message may cost: 40 bytes of its slot, 4 of the filtered
// view's and 32 of the texts the store may hold. A store that fits the machine at 44 bytes a
// message but not at 76 is refused; one that fits at 76 is kept.
TEST(SettingsTest, MemoryCheckCountsTheTextsAMessageMayHold) {
    const uint64_t memory = uint64_t(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    if (memory / 60 > INT32_MAX) GTEST_SKIP() << "more memory than a store can fill";
    for (const auto& [bytes, kept] : {std::pair{60u, false}, {80u, true}}) {
        const int32_t wanted = static_cast<int32_t>(memory / bytes);
        auto l = Load(Format("[Quillon]\nMax_Messages:%d\n[END]\n", wanted).c_str());
        EXPECT_EQ(l->s->maxMessages, kept ? wanted : 10000000) << bytes;
    }
}

TEST(SettingsTest, HomeFallsBackToThePasswordEntry) {
    passwd* pw = getpwuid(getuid());
    const std::string fromPasswd = pw && pw->pw_dir ? pw->pw_dir : "";
    for (const char* home : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv env("HOME", home);
        EXPECT_EQ(HomeDirectory(), fromPasswd);
    }
    ScopedEnv env("HOME", "/some/home");
    EXPECT_EQ(HomeDirectory(), "/some/home");
}

}  // namespace
