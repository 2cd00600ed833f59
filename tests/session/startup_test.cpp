// The program itself, run as a user would run it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/expected_texts.h"
#include "support/test_support.h"

namespace {

// Runs quillon with a fresh home folder and no display.
struct Run {
    TempDir home;
    ProcessResult result;
    std::string prefs() const { return ReadFile(home.file(".Quillon/prefs.cfg")); }
};

std::unique_ptr<Run> Quillon(std::vector<std::string> args) {
    auto r = std::make_unique<Run>();
    args.insert(args.begin(), QUILLON_BIN);
    r->result = RunProcess(args, {"HOME=" + r->home.path(), "DISPLAY"});
    return r;
}

TEST(StartupTest, LoadsPreferencesFirstAndEndsWithoutAWindow) {
    // The texts themselves are the command line's; here: the program prints them and ends with
    // success for help and version, with status 2 for an error in the arguments, and even a run
    // that only prints its version has loaded the preferences first.
    const std::pair<std::vector<std::string>, int> runs[] = {
        {{"v"}, 0},
        {{"c", "-m", "devicenet", "-f", "none.log"}, 0},
        {{"-m", "bogus"}, 2},
        {{"-b", "abc"}, 2},
        {{"-f"}, 2}};
    for (const auto& [args, status] : runs) {
        auto r = Quillon(args);
        EXPECT_EQ(r->result.exitCode, status) << args[0];
        EXPECT_EQ(r->result.err.empty(), args[0] == "c") << args[0];
        EXPECT_EQ(r->prefs(), DefaultPreferences(r->home.path())) << args[0];
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
