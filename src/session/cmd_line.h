#pragma once

#include <cstdint>
#include <string>

#include "session/parse_mode.h"

// The options given on the command line, with their defaults.
class CmdLine {
  public:
    // 0: go on; 1: a requested text was printed; -1: an argument error (a bad mode word among
    // them) was printed. Texts go to standard output (usage) and standard error (everything else).
    int Parse(int argc, char** argv);

    // Position (1..argc-1) of the first argument equal to shortName or longName, or 0.
    // With wantArg the following argument becomes optArg; when there is none, the error is
    // printed and the result is -1. An empty name or argument matches nothing.
    int FindOpt(const char* shortName, const char* longName, int wantArg);

    int32_t baud = 1000000;  // -b: its value is checked; each port keeps its own bit rate
    ParseMode mode = PARSE_CANOPEN;
    std::string file;  // log file to replay at start
    bool haveFile = false;
    bool cmdMode = false;  // no window
    const char* optArg = nullptr;
    int argc = 0;
    char** argv = nullptr;
};

// The whole of text as strtol reads it with base 0 (decimal, 0-octal, 0x-hexadecimal; empty is
// 0), within the range of a 32-bit int. Otherwise prints "Error parsing parameter" and fails.
bool ParseInt(const char* text, int32_t* value);

// "1.06": the program's version, as -v and the About box show it.
const char* getVersion();
