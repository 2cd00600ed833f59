#include "session/settings.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
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
        static const char* const kStates[] = {"missing", "loaded", "kept"};
        return Format("font %d size %d max %d file %s ", s->font, s->fontSize, s->maxMessages,
                      kStates[static_cast<int>(s->fileState)]) +
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

TEST(SettingsTest, WrittenOnlyAfterASettingChanged) {
    auto l = Load();
    EXPECT_EQ(l->s->fileState, QL_Settings::FileState::MISSING);
    l->s->save();  // nothing changed: nothing written
    EXPECT_FALSE(std::filesystem::exists(l->home.file(".Quillon")));
    l->s->netCfgDflt = "/nets/first.cfg";
    l->s->save();
    EXPECT_EQ(l->s->fileState, QL_Settings::FileState::LOADED);
    const std::string defaults = DefaultPreferences(l->home.path());
    const std::string at = "NetCfg_Dflt:";
    EXPECT_EQ(l->file(), defaults.substr(0, defaults.find(at) + at.size()) + "/nets/first.cfg" +
                             defaults.substr(defaults.find(at) + at.size()));
    struct stat st;
    ASSERT_EQ(stat(l->home.file(".Quillon").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(l->out + l->err, "");
    l->s->netCfgDflt = "/nets/plant.cfg";
    l->s->save();
    EXPECT_EQ(Load(l->file().c_str())->s->netCfgDflt, "/nets/plant.cfg");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(l->home.file(".Quillon")),
                            std::filesystem::directory_iterator()),
              1);
    l->s->prefsFile = "/dev/full";
    l->s->netCfgDflt = "/nets/other.cfg";
    testing::internal::CaptureStderr();
    l->s->save();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error 2 saving preferences\n");
}

// The cases of data/settings.txt: after "$ prefs.cfg" a preferences file, after "$ loaded" the
// values loading it gives (font, font size, store capacity, the file's state, EDS folder,
// configuration folder, default configuration; ~ for the home folder), what it says, and whether
// a save after a changed setting rewrote the file.
TEST(SettingsTest, ReadsValuesAndReportsProblems) {
    ExpectCaseFile(TEST_DATA_DIR "/../../session/data/settings.txt", "$ prefs.cfg",
                   [](const std::string& prefs) {
                       auto l = Load(prefs.c_str());
                       l->s->save();
                       EXPECT_EQ(l->file(), prefs);         // unchanged values write nothing
                       std::string said = l->out + l->err;  // the home folder written as ~
                       for (size_t at; (at = said.find(l->home.path())) != std::string::npos;)
                           said.replace(at, l->home.path().size(), "~");
                       const std::string loaded = l->values() + "\n" + said;
                       l->s->netCfgDflt = "/changed.cfg";
                       l->s->save();
                       return loaded + (l->file() == prefs ? "left as it is\n" : "rewritten\n");
                   });
    // A store larger than the machine's memory would fail only once it has filled it.
    if (uint64_t(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE) < (uint64_t(76) << 31)) {
        auto l = Load("[Quillon]\nMax_Messages:2147483647\n[END]\n");
        EXPECT_EQ(l->s->maxMessages, 10000000);
        EXPECT_EQ(
            l->err,
            "Max_Messages 2147483647 is too large for this machine's memory; using 10000000\n");
    }
}

// A preferences file that is not a regular readable file (a FIFO, one without read permission)
// is left alone too.
TEST(SettingsTest, FileThatCannotBeReadIsLeftAsItIs) {
    for (const bool fifo : {true, false}) {
        TempDir home;
        ScopedEnv env("HOME", home.path().c_str());
        const std::string file = home.file(".Quillon/prefs.cfg");
        mkdir(home.file(".Quillon").c_str(), 0700);
        if (fifo) {
            ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
        } else {
            WriteFile(file, "[Quillon]\nFont:3\n[END]\n");
            chmod(file.c_str(), 0200);
            if (access(file.c_str(), R_OK) == 0) continue;  // root reads any file
        }
        testing::internal::CaptureStderr();
        QL_Settings s;
        s.netCfgDflt = "/changed.cfg";
        s.save();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  file +
                      (fifo ? " cannot be read (not a regular file)"
                            : " cannot be read (Permission denied)") +
                      "; running with default preferences and leaving the file as it is\n");
        chmod(file.c_str(), 0600);
        struct stat info;
        EXPECT_TRUE(fifo ? stat(file.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)
                         : ReadFile(file) == "[Quillon]\nFont:3\n[END]\n");
    }
}

// Through a symbolic link the file it names is replaced, the link stays.
TEST(SettingsTest, SavesThroughALink) {
    TempDir home;
    ScopedEnv env("HOME", home.path().c_str());
    mkdir(home.file(".Quillon").c_str(), 0700);
    WriteFile(home.file("real.cfg"), "[Quillon]\nFont:3\n[END]\n");
    ASSERT_EQ(symlink(home.file("real.cfg").c_str(), home.file(".Quillon/prefs.cfg").c_str()), 0);
    QL_Settings s;
    EXPECT_EQ(s.font, 3);
    s.netCfgDflt = "/changed.cfg";
    s.save();
    EXPECT_TRUE(std::filesystem::is_symlink(home.file(".Quillon/prefs.cfg")));
    EXPECT_NE(ReadFile(home.file("real.cfg")).find("NetCfg_Dflt:/changed.cfg\n"),
              std::string::npos);
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
