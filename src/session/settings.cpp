#include "session/settings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
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

// File keys in the order they are written; a number outside its key's range is replaced by the
// key's default.
struct StringKey {
    const char* key;
    std::string QL_Settings::*field;
};
struct IntKey {
    const char* key;
    int32_t QL_Settings::*field;
    int32_t min, max, dflt;
    bool writtenAtDefault = true;  // false: left out of the file while it holds its default
};
const StringKey kStringKeys[] = {
    {"EDS_Path", &QL_Settings::edsPath},
    {"NetCfg_Path", &QL_Settings::netCfgPath},
    {"NetCfg_Dflt", &QL_Settings::netCfgDflt},
};
// FLTK has fonts 0 to 15 until a program adds more; another number crashes its drawing.
const IntKey kIntKeys[] = {
    {"Font", &QL_Settings::font, 0, kFonts - 1, QL_Settings::kDefaultFont},
    {"Font_size", &QL_Settings::fontSize, kMinFontSize, kMaxFontSize,
     QL_Settings::kDefaultFontSize},
    {"Max_Messages", &QL_Settings::maxMessages, kMinMessages, INT32_MAX,
     QL_Settings::kDefaultMaxMessages},
    // Later keys, left out at their defaults so that a file of defaults stays as it was.
    {"Confirm_Discard", &QL_Settings::confirmDiscard, 0, 1, 1, false},
};

bool Written(const IntKey& k, int32_t value) {
    return k.writtenAtDefault || value != k.dflt;
}

constexpr const char* kKeptNote = "running with default preferences and leaving the file as it is";

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

QL_Settings::QL_Settings() : QL_Settings(HomeDirectory()) {}

QL_Settings::QL_Settings(const std::string& home) {
    edsPath = home;
    netCfgPath = home;
    savedValues = Values();
    if (home.empty()) {
        std::fprintf(stderr, "No home directory: using default preferences, which are not saved\n");
        return;
    }
    prefsDir = home + "/.Quillon/";
    prefsFile = prefsDir + "prefs.cfg";

    struct stat info;
    if (lstat(prefsFile.c_str(), &info) != 0 && errno == ENOENT) return;  // a first start
    errno = 0;
    std::unique_ptr<FILE, int (*)(FILE*)> fp(OpenRegularFile(prefsFile.c_str(), "r"), &std::fclose);
    if (!fp) {
        fileState = FileState::KEPT;
        std::fprintf(stderr, "%s cannot be read (%s); %s\n", prefsFile.c_str(),
                     errno ? std::strerror(errno) : "not a regular file", kKeptNote);
        return;
    }
    std::unique_ptr<CfgElement> root;
    try {
        root = CfgElement::load(fp.get());
    } catch (const CfgFileErr& e) {
        fileState = FileState::KEPT;
        std::fprintf(stderr, "Error loading cfg file: %d\n", e.code);
        return;
    }
    if (!root || root->name != "Quillon") {
        // An empty file holds nothing to keep; anything else may be the user's.
        if (!root && std::ftell(fp.get()) == 0) return;
        fileState = FileState::KEPT;
        if (root)
            std::fprintf(
                stderr, "%s:%d: the first element is %s, not [Quillon]; %s\n", prefsFile.c_str(),
                root->line,
                (root->children.empty() ? root->name + ":" + root->value : "[" + root->name + "]")
                    .c_str(),
                kKeptNote);
        else
            std::fprintf(stderr, "%s holds no [Quillon] group; %s\n", prefsFile.c_str(), kKeptNote);
        return;
    }
    fileState = FileState::LOADED;
    // A key given twice takes the later value.
    const CfgElement* numbers[std::size(kIntKeys)] = {};
    for (const auto& child : root->children) {
        for (const auto& k : kStringKeys)
            if (child->name == k.key) this->*k.field = child->value;
        for (size_t i = 0; i < std::size(kIntKeys); i++)
            if (child->name == kIntKeys[i].key) numbers[i] = child.get();
    }
    for (size_t i = 0; i < std::size(kIntKeys); i++) {
        const IntKey& k = kIntKeys[i];
        if (!numbers[i]) continue;
        bool ok;
        const int32_t v = StrToInt(numbers[i]->value, &ok);
        if (ok && v >= k.min && v <= k.max) {
            this->*k.field = v;
        } else {
            std::fprintf(stderr, "%s:%d: %s %s is not a number from %d to %d; using %d\n",
                         prefsFile.c_str(), numbers[i]->line, k.key, numbers[i]->value.c_str(),
                         k.min, k.max, k.dflt);
        }
    }
    // The store reserves no memory up front, so a store larger than the machine would only fail
    // once it has filled most of memory.
    if (maxMessages * kBytesPerMessage + MsgStore::kMinTextBytes > PhysicalMemory()) {
        std::fprintf(stderr, "Max_Messages %d is too large for this machine's memory; using %d\n",
                     maxMessages, kDefaultMaxMessages);
        maxMessages = kDefaultMaxMessages;
    }
    savedValues = Values();
}

std::string QL_Settings::Values() const {
    std::string text;
    for (const auto& k : kStringKeys) text += std::string(k.key) + ":" + this->*k.field + "\n";
    for (const auto& k : kIntKeys)
        if (Written(k, this->*k.field)) text += Format("%s:%d\n", k.key, this->*k.field);
    return text;
}

bool QL_Settings::save() {
    if (Values() == savedValues) return true;
    if (prefsFile.empty()) return false;  // no home directory to keep them in
    if (fileState == FileState::KEPT) return false;
    mkdir(prefsDir.c_str(), 0700);  // it may exist already
    CfgElement root("Quillon");
    for (const auto& k : kStringKeys) root.addLeaf(k.key, this->*k.field);
    for (const auto& k : kIntKeys)
        if (Written(k, this->*k.field)) root.addLeaf(k.key, Format("%d", this->*k.field));
    // Written whole, then renamed over the old file; through a link, over the file it names.
    std::unique_ptr<char, void (*)(void*)> real(realpath(prefsFile.c_str(), nullptr), &std::free);
    const int rc = root.save(real ? real.get() : prefsFile.c_str());
    if (rc != 0) {
        std::fprintf(stderr, "Error %d saving preferences\n", rc);
        return false;
    }
    fileState = FileState::LOADED;
    savedValues = Values();
    return true;
}
