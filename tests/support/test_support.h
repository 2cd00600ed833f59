#pragma once

// Helpers for tests that need files, environment variables, a child process or a bounded wait.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct CANframe;

// How long a test waits for what takes milliseconds: far beyond any slow or loaded machine, so
// that a test never fails by timing, and still short enough that a fault which makes the awaited
// thing never happen fails the test instead of hanging it.
constexpr std::chrono::seconds kPatience{60};

// Calls step() until done() holds, checking before each call; false when it still does not after
// kPatience. The default step sleeps a millisecond, for threads that give no notice to wait on.
bool WaitUntil(const std::function<bool()>& done, const std::function<void()>& step = nullptr);

// Type letter (D, R, E, or T for text), time stamp, port, identifier and bytes of a frame, or
// for text its time stamp, unstamped flag, port and text.
std::string DescribeFrame(const CANframe& f);

// "code message" of the QuillonError that action throws, "(none)" when it throws none.
std::string ThrownError(const std::function<void()>& action);

// A fresh directory under $TMPDIR (default /tmp), removed with everything in it at the end of
// the scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return dir; }
    std::string file(const std::string& name) const { return dir + "/" + name; }

  private:
    std::string dir;
};

// Sets (or, with a null value, removes) an environment variable until the end of the scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name;
    std::string old;
    bool hadOld;
};

struct ProcessResult {
    int exitCode = -1;  // -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs argv[0] with the arguments, stdin from /dev/null. env entries "NAME=value" set a
// variable for the child, a bare "NAME" removes it. A child still running after kPatience is
// killed with everything it started, and the test fails.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {});

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
// Expects text to be the file's; with QUILLON_UPDATE_GOLDEN=1 writes it there instead (review the
// diff).
void ExpectGolden(const std::string& path, const std::string& text);
// Expects the case file at path as runs rebuild it: each input (the lines after a line opener)
// ends at "$ loaded", which run's text for that input follows; comments (#) stay.
void ExpectCaseFile(const std::string& path, const std::string& opener,
                    const std::function<std::string(const std::string& input)>& run);
