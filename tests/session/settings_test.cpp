#include "session/settings.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/expected_texts.h"
#include "support/test_support.h"

namespace {

// Preferences loaded with HOME in a fresh folder, after writing prefs.cfg when given.
struct Loaded {
    TempDir home;
    std::unique_ptr<QL_Settings> s;
    std::string out, err;
    std::string file() const { return ReadFile(home.file(".Quillon/prefs.cfg")); }
};

std::unique_ptr<Loaded> Load(const std::string* prefs = nullptr) {
    auto l = std::make_unique<Loaded>();
    if (prefs) {
        mkdir(l->home.file(".Quillon").c_str(), 0700);
        WriteFile(l->home.file(".Quillon/prefs.cfg"), *prefs);
    }
    ScopedEnv home("HOME", l->home.path().c_str());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    l->s = std::make_unique<QL_Settings>();
    l->out = testing::internal::GetCapturedStdout();
    l->err = testing::internal::GetCapturedStderr();
    return l;
}

std::unique_ptr<Loaded> Load(const std::string& prefs) {
    return Load(&prefs);
}

TEST(SettingsTest, DefaultsAreWrittenOnlyWhenAsked) {
    auto l = Load();
    const std::string& home = l->home.path();
    EXPECT_TRUE(l->file().empty() && l->s->defaultsUnsaved);  // loading writes nothing
    l->s->save();
    EXPECT_EQ(l->file(), DefaultPreferences(home));
    EXPECT_FALSE(l->s->defaultsUnsaved);
    struct stat st;
    ASSERT_EQ(stat(l->home.file(".Quillon").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(l->out + l->err, "");

    // Another program's file, or one without an element, is to be replaced by the defaults.
    for (std::string foreign : {"[Other]\n  Font:3\n[END]\n", "Font:3\n", "# comment\n"}) {
        l = Load(foreign);
        EXPECT_TRUE(l->s->font == 0 && l->s->defaultsUnsaved && l->file() == foreign) << foreign;
    }
}

TEST(SettingsTest, ReadsValuesWithoutRewriting) {
    const std::string prefs =
        "# mine\n[Quillon]\n  EDS_Path: /eds/dir \n  NetCfg_Dflt:/x/net.cfg\n"
        "  Max_Messages:   5000  \n  Font:3\n  Font:4\n  Font_size:12pt\n  Unknown:1\n"
        "  NetCfg_Path:/a:b\n[END]\n";
    auto l = Load(prefs);
    EXPECT_EQ(l->s->edsPath + l->s->netCfgPath + l->s->netCfgDflt, "/eds/dir/a:b/x/net.cfg");
    EXPECT_EQ(l->s->maxMessages, 5000);
    EXPECT_EQ(l->s->font, 4);       // the later of two
    EXPECT_EQ(l->s->fontSize, 14);  // not a number: the default stays
    EXPECT_EQ(l->file(), prefs);
    EXPECT_EQ(l->out + l->err, "");
    EXPECT_EQ(Load("[Quillon]\nMax_Messages:5k\n[END]\n")->s->maxMessages, 10000000);
}

TEST(SettingsTest, ReportsProblemsAndGoesOn) {
    const std::string broken = "[Quillon]\n  Font:3\n";  // never closed
    auto l = Load(broken);
    EXPECT_EQ(l->out + "|" + l->err, "|Error loading cfg file: 2\n");
    EXPECT_FALSE(l->s->defaultsUnsaved);  // the user's file, kept for the user to mend
    EXPECT_EQ(l->s->font, 0);
    EXPECT_EQ(l->file(), broken);

    for (std::string value : {"1", "-5"}) {
        l = Load("[Quillon]\nMax_Messages:" + value + "\n[END]\n");
        EXPECT_EQ(l->s->maxMessages, 2);
        EXPECT_EQ(l->err, "Max_Messages " + value + " is too small; using 2\n");
    }
    // A store larger than the machine's memory would fail only once it has filled it.
    if (uint64_t(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE) < (uint64_t(44) << 31)) {
        l = Load("[Quillon]\nMax_Messages:2147483647\n[END]\n");
        EXPECT_EQ(l->s->maxMessages, 10000000);
        EXPECT_EQ(
            l->err,
            "Max_Messages 2147483647 is too large for this machine's memory; using 10000000\n");
    }
    // Fonts FLTK does not have and sizes it cannot use: the defaults, the file left as it is.
    const std::string fonts = "[Quillon]\nFont:16\nFont_size:73\n[END]\n";
    l = Load(fonts);
    EXPECT_TRUE(l->s->font == 0 && l->s->fontSize == 14 && l->file() == fonts);
    EXPECT_EQ(l->err,
              "Font 16 is not a font number; using 0\n"
              "Font_size 73 is not a size from 6 to 72; using 14\n");
    EXPECT_EQ(Load("[Quillon]\nFont:15\nFont_size:6\n[END]\n")->err, "");

    l = Load();
    l->s->netCfgDflt = "/nets/plant.cfg";
    l->s->save();
    EXPECT_EQ(Load(l->file())->s->netCfgDflt, "/nets/plant.cfg");
    l->s->prefsFile = "/dev/full";
    testing::internal::CaptureStderr();
    l->s->save();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error 2 saving preferences\n");
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
