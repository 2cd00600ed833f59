#pragma once

#include <cstdint>
#include <string>

// The user's preferences, kept in ~/.Quillon/prefs.cfg in the configuration format of
// CfgElement. Loaded at the program's start; written back when a dialog changes a path.
class QL_Settings {
  public:
    // Sets the defaults, then loads the preferences file. Never fails: problems are printed on
    // standard error. Writes nothing: a tool that only reads leaves the user's files alone.
    QL_Settings();
    void save();

    std::string prefsDir;    // HOME + "/.Quillon/"; empty when there is no home directory
    std::string prefsFile;   // prefsDir + "prefs.cfg"
    std::string edsPath;     // "EDS_Path": folder offered when choosing EDS files
    std::string netCfgPath;  // "NetCfg_Path": folder offered for network configurations
    std::string netCfgDflt;  // "NetCfg_Dflt": network configuration loaded at start
    static constexpr int32_t kDefaultFont = 0;
    static constexpr int32_t kDefaultFontSize = 14;
    static constexpr int32_t kDefaultMaxMessages = 10000000;

    int32_t font = kDefaultFont;          // "Font": FLTK font number of the list and detail views
    int32_t fontSize = kDefaultFontSize;  // "Font_size", 6 to 72
    int32_t maxMessages =
        kDefaultMaxMessages;  // "Max_Messages": capacity of the message store, at least 2
    // The file is missing, or its top element is not "Quillon": the program replaces it with
    // the defaults at its start.
    bool defaultsUnsaved = false;
};

// $HOME, else the home directory of the user's password entry, else empty.
std::string HomeDirectory();
