#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "store/can_frame.h"

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quillon-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name(name) {
    const char* current = std::getenv(name);
    hadOld = current != nullptr;
    if (hadOld) old = current;
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (hadOld)
        setenv(name.c_str(), old.c_str(), 1);
    else
        unsetenv(name.c_str());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void ExpectGolden(const std::string& path, const std::string& text) {
    if (const char* update = std::getenv("QUILLON_UPDATE_GOLDEN"); update && *update == '1')
        WriteFile(path, text);
    else
        EXPECT_EQ(text, ReadFile(path)) << "golden file " << path;
}

void ExpectCaseFile(const std::string& path, const std::string& opener,
                    const std::function<std::string(const std::string& input)>& run) {
    const std::string expected = ReadFile(path);
    std::istringstream lines(expected);
    std::string got, input;
    bool inInput = false;
    for (std::string line; std::getline(lines, line);) {
        if (line == "$ loaded") {
            got += input + line + "\n" + run(input);
            input.clear();
            inInput = false;
        } else if (inInput) {
            input += line + "\n";
        } else if (line[0] == '#' || line == opener) {
            got += line + "\n";
            inInput = line == opener;
        }
    }
    EXPECT_EQ(got, expected) << "case file " << path;
}

bool WaitUntil(const std::function<bool()>& done, const std::function<void()>& step) {
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= giveUp) return false;
        if (step)
            step();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

namespace {

// Whether the child ended within kPatience; it is not reaped. Waits on a process file
// descriptor; where the kernel has none, without a bound.
bool EndsInTime(pid_t pid) {
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return true;
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    int ready;
    do {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            giveUp - std::chrono::steady_clock::now());
        pollfd ended{fd, POLLIN, 0};
        ready = poll(&ended, 1, std::max(0, static_cast<int>(left.count())));
    } while (ready < 0 && errno == EINTR);
    close(fd);
    return ready != 0;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env) {
    TempDir io;
    const std::string outPath = io.file("out"), errPath = io.file("err");
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);  // a group of its own, which a time-out ends with what it started
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const auto& e : env) {
            auto eq = e.find('=');
            if (eq == std::string::npos)
                unsetenv(e.c_str());
            else
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    ProcessResult result;
    if (pid < 0) return result;
    setpgid(pid, pid);
    if (!EndsInTime(pid)) {
        kill(-pid, SIGKILL);
        std::string command;
        for (const auto& a : argv) command += (command.empty() ? "" : " ") + a;
        ADD_FAILURE() << "Still running after " << kPatience.count() << " s, killed: " << command;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return result;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

std::string ThrownError(const std::function<void()>& action) {
    try {
        action();
    } catch (const QuillonError& e) {
        return std::to_string(e.code) + " " + e.message;
    }
    return "(none)";
}

std::string DescribeFrame(const CANframe& f) {
    if (f.type == FRAME_TEXT)
        return Format("T %llu %d %d %s", static_cast<unsigned long long>(f.timestamp), f.unstamped,
                      f.port, f.text);
    std::string s = Format("%c %llu %d 0x%x", "DRE"[f.type],
                           static_cast<unsigned long long>(f.timestamp), f.port, f.id);
    for (int i = 0; i < f.length; i++) s += Format(" %d", f.data[i]);
    return s;
}
