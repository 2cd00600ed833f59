#include "session/cmd_line.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: Quillon [-h] [-v] [-b <num>] [-f <str>] [-m <str>] [-c]\n"
    "  -h, --help      \tDisplay command line parameter info and exit\n"
    "  -v, --version   \tDisplay program version information and exit\n"
    "  -b, --baud <num>\tSpecify CAN baud rate (bits/second)\n"
    "  -f, --file <str>\tRead CAN messages from a log file\n"
    "  -m, --mode <str>\tSet message parsing mode (raw, CANopen)\n"
    "  -c, --cmdline   \tRun program in command line mode (no GUI)";

const char kModeError[] =
    "Unable to parse mode value %s\n"
    "valid modes are:\n"
    "  RAW       - no parsing\n"
    "  CANopen   - Parse as CANopen messages\n"
    "  DeviceNet - Parse as DeviceNet messages\n";

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 6;

}  // namespace

const char* getVersion() {
    static char version[80];
    std::snprintf(version, sizeof version, "%d.%02d", kVersionMajor, kVersionMinor);
    return version;
}

bool ParseInt(const char* text, int32_t* value) {
    char* end;
    errno = 0;
    long v = std::strtol(text, &end, 0);
    if (*end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) {
        std::fprintf(stderr, "Error parsing parameter %s\n", text);
        return false;
    }
    *value = static_cast<int32_t>(v);
    return true;
}

int CmdLine::FindOpt(const char* shortName, const char* longName, int wantArg) {
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (*arg == '\0' || (std::strcmp(arg, shortName) != 0 && std::strcmp(arg, longName) != 0))
            continue;
        if (wantArg) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "Argument %s requires arguments to be passed\n", arg);
                return -1;
            }
            optArg = argv[i + 1];
        }
        return i;
    }
    return 0;
}

int CmdLine::Parse(int argc, char** argv) {
    this->argc = argc;
    this->argv = argv;

    if (FindOpt("-h", "--help", 0) > 0) {
        std::printf("%s\n", kUsage);
        return 1;
    }
    // The usage lists -v, --version, -c and --cmdline; the bare words, which the program took
    // first, are still taken.
    if (FindOpt("-v", "--version", 0) > 0 || FindOpt("v", "version", 0) > 0) {
        std::fprintf(stderr, "Version %s\n", getVersion());
        return 1;
    }
    if (FindOpt("-c", "--cmdline", 0) > 0 || FindOpt("c", "cmdline", 0) > 0) cmdMode = true;

    int found = FindOpt("-b", "--baud", 1);
    if (found < 0 || (found > 0 && !ParseInt(optArg, &baud))) return -1;

    found = FindOpt("-m", "--mode", 1);
    if (found < 0) return -1;
    if (found > 0) {
        if (std::strcmp(optArg, "raw") == 0) {
            mode = PARSE_RAW;
        } else if (std::strcmp(optArg, "canopen") == 0) {
            mode = PARSE_CANOPEN;
        } else if (std::strcmp(optArg, "devicenet") == 0) {
            mode = PARSE_DEVICENET;
        } else {
            std::fprintf(stderr, kModeError, optArg);
            return -1;
        }
    }

    found = FindOpt("-f", "--file", 1);
    if (found < 0) return -1;
    if (found > 0) {
        haveFile = true;
        file = optArg;
    }

    return 0;
}
