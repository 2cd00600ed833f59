#pragma once

// Texts the program must produce to the byte, shared by the unit and end-to-end tests.

#include <string>

inline const char kUsageText[] =
    "Usage: Quillon [-h] [-v] [-b <num>] [-f <str>] [-m <str>] [-c]\n"
    "  -h, --help      \tDisplay command line parameter info and exit\n"
    "  -v, --version   \tDisplay program version information and exit\n"
    "  -b, --baud <num>\tSpecify CAN baud rate (bits/second)\n"
    "  -f, --file <str>\tRead CAN messages from a log file\n"
    "  -m, --mode <str>\tSet message parsing mode (raw, CANopen)\n"
    "  -c, --cmdline   \tRun program in command line mode (no GUI)\n";

// prefs.cfg as a first start writes it.
inline std::string DefaultPreferences(const std::string& home) {
    return "[Quillon]\n   EDS_Path:" + home + "\n   NetCfg_Path:" + home +
           "\n   NetCfg_Dflt:\n   Font:0\n   Font_size:14\n   Max_Messages:10000000\n[END]\n";
}
