#pragma once

#include <string>

// prefs.cfg as a first start writes it, which the unit and end-to-end tests expect.
inline std::string DefaultPreferences(const std::string& home) {
    return "[Quillon]\n   EDS_Path:" + home + "\n   NetCfg_Path:" + home +
           "\n   NetCfg_Dflt:\n   Font:0\n   Font_size:14\n   Max_Messages:10000000\n[END]\n";
}
