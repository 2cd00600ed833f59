#include "session/settings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/cfg_element.h"
#include "base/utils.h"
#include "store/can_frame.h"
#include "store/msg_store.h"

namespace {

constexpr int32_t kMinMessages = 2;  // the store's ring needs two slots to tell full from empty
constexpr int32_t kFonts = 16;
constexpr int32_t kMinFontSize = 6;
constexpr int32_t kMaxFontSize = 72;
// What one message costs at most: its slot in the message store, its slot in the filtered view
// (32 bits of a store index) and its share of the texts the store may hold.
constexpr uint64_t kBytesPerMessage =
    sizeof(CANframe) + sizeof(uint32_t) + MsgStore::kTextBytesPerSlot;

uint64_t PhysicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * pageSize : UINT64_MAX;
}

// File keys in the order they are written.
struct StringKey {
    const char* key;
    std::string QL_Settings::*field;
};
struct IntKey {
    const char* key;
    int32_t QL_Settings::*field;
};
const StringKey kStringKeys[] = {
    {"EDS_Path", &QL_Settings::edsPath},
    {"NetCfg_Path", &QL_Settings::netCfgPath},
    {"NetCfg_Dflt", &QL_Settings::netCfgDflt},
};
const IntKey kIntKeys[] = {
    {"Font", &QL_Settings::font},
    {"Font_size", &QL_Settings::fontSize},
    {"Max_Messages", &QL_Settings::maxMessages},
};

}  // namespace

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    passwd entry;
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        return found->pw_dir;
    return {};
}

QL_Settings::QL_Settings() {
    std::string home = HomeDirectory();
    edsPath = home;
    netCfgPath = home;
    if (home.empty()) {
        std::fprintf(stderr, "No home directory: using default preferences, which are not saved\n");
        return;
    }
    prefsDir = home + "/.Quillon/";
    prefsFile = prefsDir + "prefs.cfg";

    std::unique_ptr<FILE, int (*)(FILE*)> fp(OpenRegularFile(prefsFile.c_str(), "r"), &std::fclose);
    if (!fp) {
        defaultsUnsaved = true;
        return;
    }
    std::unique_ptr<CfgElement> root;
    try {
        root = CfgElement::load(fp.get());
    } catch (const CfgFileErr& e) {
        std::fprintf(stderr, "Error loading cfg file: %d\n", e.code);
        return;
    }
    if (!root || root->name != "Quillon") {
        defaultsUnsaved = true;
        return;
    }
    for (const auto& child : root->children) {
        for (const auto& k : kStringKeys)
            if (child->name == k.key) this->*k.field = child->value;
        for (const auto& k : kIntKeys) {
            if (child->name != k.key) continue;
            bool ok;
            int32_t v = StrToInt(child->value, &ok);
            if (ok) this->*k.field = v;  // text that is not a number leaves the value
        }
    }
    if (maxMessages < kMinMessages) {
        std::fprintf(stderr, "Max_Messages %d is too small; using %d\n", maxMessages, kMinMessages);
        maxMessages = kMinMessages;
    }
    // The store reserves no memory up front, so a store larger than the machine would only fail
    // once it has filled most of memory.
    if (maxMessages * kBytesPerMessage + MsgStore::kMinTextBytes > PhysicalMemory()) {
        std::fprintf(stderr, "Max_Messages %d is too large for this machine's memory; using %d\n",
                     maxMessages, kDefaultMaxMessages);
        maxMessages = kDefaultMaxMessages;
    }
    // FLTK has fonts 0 to 15 until a program adds more; another number crashes its drawing.
    if (font < 0 || font >= kFonts) {
        std::fprintf(stderr, "Font %d is not a font number; using %d\n", font, kDefaultFont);
        font = kDefaultFont;
    }
    if (fontSize < kMinFontSize || fontSize > kMaxFontSize) {
        std::fprintf(stderr, "Font_size %d is not a size from %d to %d; using %d\n", fontSize,
                     kMinFontSize, kMaxFontSize, kDefaultFontSize);
        fontSize = kDefaultFontSize;
    }
}

void QL_Settings::save() {
    if (prefsFile.empty()) return;  // no home directory to keep them in
    mkdir(prefsDir.c_str(), 0700);  // it may exist already
    CfgElement root("Quillon");
    for (const auto& k : kStringKeys) root.addLeaf(k.key, this->*k.field);
    for (const auto& k : kIntKeys) root.addLeaf(k.key, Format("%d", this->*k.field));
    int rc = root.save(prefsFile.c_str());
    if (rc != 0) std::fprintf(stderr, "Error %d saving preferences\n", rc);
    defaultsUnsaved = false;
}
