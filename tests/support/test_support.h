#pragma once

// Helpers for tests that need files, environment variables or a child process.

#include <functional>
#include <string>
#include <vector>

struct CANframe;

// Type letter (D, R, E, or T for text), time stamp, port, identifier and bytes of a frame, or
// for text its time stamp, unstamped flag, port and text.
std::string DescribeFrame(const CANframe& f);

// "code message" of the QuillonError that action throws, "(none)" when it throws none.
std::string ThrownError(const std::function<void()>& action);

// A fresh directory under /tmp, removed with everything in it at the end of the scope.
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
// variable for the child, a bare "NAME" removes it.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {});

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
