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
    // The same with the given home folder (empty: none).
    explicit QL_Settings(const std::string& home);
    // Writes the preferences when a value differs from what the file holds (a missing file holds
    // the defaults), replacing the file whole through a temporary file beside it. A file that
    // could not be read or understood is the user's to mend and is never written over. False
    // when the values could not be written (said on stderr).
    bool save();

    enum class FileState {
        MISSING,  // no file yet: the defaults, written at the first change
        LOADED,   // the values come from the file
        KEPT,     // the file exists but could not be read or understood: left as it is
    };

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
    // "Confirm_Discard": 1 to ask before Play or Open discards an unsaved capture, 0 not to
    // (the question's "Don't ask again").
    int32_t confirmDiscard = 1;
    FileState fileState = FileState::MISSING;

  private:
    std::string Values() const;  // every key with its value, one "key:value" line each
    std::string savedValues;     // Values() as the file holds them (a missing file: the defaults)
};

// $HOME, else the home directory of the user's password entry, else empty.
std::string HomeDirectory();
