// Fuzz target: any bytes as the preferences file, loaded, then saved after a changed setting.
// A file the preferences could not read or understand, or could not save, must come out as it
// went in; one they saved must read back.

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "session/settings.h"

namespace {

// A home folder of its own for the whole run, removed at its end; in memory where the machine
// has /dev/shm, since every run writes and syncs the file.
struct HomeFolder {
    HomeFolder() {
        std::string folder = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                             "/quillon-prefs-fuzz-XXXXXX";
        if (!mkdtemp(folder.data())) std::abort();
        path = folder;
        mkdir((path + "/.Quillon").c_str(), 0700);
    }
    ~HomeFolder() { std::filesystem::remove_all(path); }
    std::string path;
};

const std::string& Home() {
    static const HomeFolder home;
    return home.path;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file = Home() + "/.Quillon/prefs.cfg";
    const std::string text(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << text;
    }
    QL_Settings prefs(Home());
    const bool kept = prefs.fileState == QL_Settings::FileState::KEPT;
    prefs.save();  // nothing changed: nothing written
    if (Contents(file) != text) std::abort();
    prefs.netCfgDflt += "/changed";
    const bool saved = prefs.save();  // refused for a value with a line break, which is said
    if ((kept && saved) || (!saved && Contents(file) != text)) std::abort();
    if (saved) {
        QL_Settings again(Home());  // what was written reads back
        if (again.fileState != QL_Settings::FileState::LOADED ||
            again.netCfgDflt != prefs.netCfgDflt || again.maxMessages != prefs.maxMessages)
            std::abort();
    }
    return 0;
}
