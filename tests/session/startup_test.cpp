// The program itself, run as a user would run it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <string>
#include <vector>

#include "support/expected_texts.h"
#include "support/test_support.h"

namespace {

TEST(StartupTest, LoadsPreferencesFirstAndEndsWithoutAWindow) {
    // The texts themselves are the command line's; here: the program prints them and ends with
    // success for help and version, with status 2 for an error in the arguments, and even a run
    // that only prints its version has loaded the preferences first. Nothing is written at the
    // start: the preferences are saved only when a setting changes.
    const std::pair<std::vector<std::string>, int> runs[] = {
        {{QUILLON_BIN, "v"}, 0},
        {{QUILLON_BIN, "--version"}, 0},
        {{QUILLON_BIN, "c", "-m", "devicenet", "-f", "none.log"}, 0},
        {{QUILLON_BIN, "-c", "-f", "none.log"}, 0},
        {{QUILLON_BIN, "-m", "bogus"}, 2},
        {{QUILLON_BIN, "-b", "abc"}, 2},
        {{QUILLON_BIN, "-f"}, 2}};
    for (const auto& [args, status] : runs) {
        TempDir home;
        const ProcessResult r = RunProcess(args, {"HOME=" + home.path(), "DISPLAY"});
        EXPECT_EQ(r.exitCode, status) << args[1];
        EXPECT_EQ(r.err.empty(), args[1] == "c" || args[1] == "-c") << args[1];
        EXPECT_FALSE(std::filesystem::exists(home.file(".Quillon"))) << args[1];
    }
}

TEST(StartupTest, LeavesAPreferencesFileItCannotUnderstand) {
    // Another program's top group, and a group never closed: said once, run on the defaults, and
    // the file stays as it is, whatever the command line.
    const std::pair<std::string, std::string> files[] = {
        {"[quillon]\n   Font:3\n[END]\n",
         ":1: the first element is [quillon], not [Quillon]; running with default preferences and "
         "leaving the file as it is\n"},
        {"[Quillon]\n   Font:3\n", "Error loading cfg file: 2\n"}};
    for (const auto& [text, said] : files) {
        for (const char* option : {"-h", "v", "-m"}) {
            TempDir home;
            const std::string file = home.file(".Quillon/prefs.cfg");
            mkdir(home.file(".Quillon").c_str(), 0700);
            WriteFile(file, text);
            const ProcessResult r =
                RunProcess({QUILLON_BIN, option}, {"HOME=" + home.path(), "DISPLAY"});
            EXPECT_EQ(ReadFile(file), text) << option;
            const std::string err = r.err.substr(0, r.err.find('\n') + 1);
            EXPECT_EQ(err, said[0] == ':' ? file + said : said) << option;
        }
    }
}

TEST(StartupTest, RunsOnDefaultsWithoutAHome) {
    // A user without HOME and without a password entry: nothing can be saved, the program runs.
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "needs root and setpriv to become a user without a password entry";
    ProcessResult r = RunProcess(
        {"/usr/bin/setpriv", "--reuid=54321", "--regid=54321", "--clear-groups", QUILLON_BIN, "c"},
        {"HOME", "DISPLAY"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "No home directory: using default preferences, which are not saved\n");
}

}  // namespace
