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

TEST(StartupTest, PrintsRequestedTextsAndEnds) {
    const struct {
        std::vector<std::string> args;
        std::string out, err;
    } cases[] = {
        {{"-m", "nonsense", "v", "-h"}, kUsageText, ""},
        {{"v"}, "", "Version 1.06\n"},
        {{"-b", "12x"}, "", "Error parsing parameter 12x\n"},
        {{"c", "-v", "-m", "devicenet", "-f", "missing.log"}, "", ""},  // no display needed
    };
    for (const auto& c : cases) {
        auto r = Quillon(c.args);
        EXPECT_EQ(r->result.exitCode, 0) << c.args[0];
        EXPECT_EQ(r->result.out, c.out) << c.args[0];
        EXPECT_EQ(r->result.err, c.err) << c.args[0];
        // Even a run that only prints its version has loaded the preferences first.
        EXPECT_EQ(r->prefs(), DefaultPreferences(r->home.path())) << c.args[0];
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
