#include "base/cfg_element.h"

#include <sys/stat.h>
#include <unistd.h>

#include "base/utils.h"

namespace {

// Deeper nesting than any configuration needs: a file that goes further is malformed, and
// refusing it keeps a hostile file from exhausting the stack.
constexpr int kMaxDepth = 100;

// Reads one line of any length without its line end and counts it; false at the end of the input.
bool ReadLine(FILE* fp, std::string& line, int& lineNo) {
    line.clear();
    int c;
    while ((c = getc(fp)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) return false;
    lineNo++;
    return true;
}

// The next element of the stream, or null at its end; *end is set instead for an "[END]" line.
std::unique_ptr<CfgElement> ReadElement(FILE* fp, int depth, bool* end, int& lineNo) {
    std::string line;
    while (ReadLine(fp, line, lineNo)) {
        TrimString(line);
        if (line.empty() || line[0] == '#') continue;

        if (line[0] == '[') {
            if (line.back() != ']')
                throw CfgFileErr{CfgFileErr::FORMAT, lineNo, line + " has no closing ]"};
            std::string name = line.substr(1, line.size() - 2);
            TrimString(name);
            if (name.empty())
                throw CfgFileErr{CfgFileErr::FORMAT, lineNo, "a group without a name"};
            if (name == "END") {
                *end = true;
                return nullptr;
            }
            if (depth >= kMaxDepth)
                throw CfgFileErr{CfgFileErr::FORMAT, lineNo, "groups nested too deeply"};
            auto group = std::make_unique<CfgElement>(name);
            group->line = lineNo;
            for (;;) {
                bool groupEnd = false;
                auto child = ReadElement(fp, depth + 1, &groupEnd, lineNo);
                if (groupEnd) return group;
                if (!child)  // the input ended inside the group
                    throw CfgFileErr{CfgFileErr::FORMAT, group->line,
                                     "[" + name + "] is not closed by [END]"};
                group->addChild(std::move(child));
            }
        }

        size_t colon = line.find(':');
        if (colon == std::string::npos)
            throw CfgFileErr{CfgFileErr::FORMAT, lineNo, "neither name:value nor [group]: " + line};
        std::string name = line.substr(0, colon);
        std::string value = line.substr(colon + 1);
        TrimString(name);
        TrimString(value);
        if (name.empty()) throw CfgFileErr{CfgFileErr::FORMAT, lineNo, "a value without a name"};
        auto leaf = std::make_unique<CfgElement>(name, value);
        leaf->line = lineNo;
        return leaf;
    }
    return nullptr;
}

}  // namespace

bool CfgElement::HasLineBreak() const {
    if (name.find_first_of("\r\n") != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos)
        return true;
    for (const auto& child : children)
        if (child->HasLineBreak()) return true;
    return false;
}

int CfgElement::save(FILE* fp, const std::string& indent) const {
    // Whole strings, so that a NUL byte in a name or value is written as read, not cut there.
    const auto put = [fp](const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), fp);
    };
    if (children.empty()) {
        put(indent + name + ":" + value + "\n");
    } else {
        put(indent + "[" + name + "]\n");
        for (const auto& child : children) {
            int rc = child->save(fp, indent + "   ");
            if (rc != 0) return rc;
        }
        std::fprintf(fp, "%s[END]\n", indent.c_str());
    }
    return std::ferror(fp) ? WRITE_FAILED : 0;
}

int CfgElement::saveAndClose(FILE* fp, bool sync) const {
    int rc = save(fp, "");
    // Buffered data reaches the file only at the flush: a full disk shows here.
    if ((std::fflush(fp) != 0 || (sync && fsync(fileno(fp)) != 0)) && rc == 0) rc = WRITE_FAILED;
    if (std::fclose(fp) != 0 && rc == 0) rc = WRITE_FAILED;
    return rc;
}

int CfgElement::save(const char* path) const {
    // A line break would read back as another line: refused rather than written.
    if (HasLineBreak()) return BAD_TEXT;
    struct stat info;
    if (stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {  // a device: written in place
        FILE* fp = std::fopen(path, "w");
        return fp ? saveAndClose(fp, false) : OPEN_FAILED;
    }
    // A regular file (or a new one) is replaced whole: the text goes to a temporary file beside
    // it, renamed over it once written, so a failed save leaves the old file as it was.
    std::string temp = std::string(path) + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return OPEN_FAILED;
    const mode_t mask = umask(0);  // the new file gets the mode a plain create would give
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE* fp = fdopen(fd, "w");
    if (!fp) close(fd);
    int rc = fp ? saveAndClose(fp, true) : OPEN_FAILED;
    if (rc == 0 && std::rename(temp.c_str(), path) != 0) rc = OPEN_FAILED;
    if (rc != 0) unlink(temp.c_str());
    return rc;
}

std::unique_ptr<CfgElement> CfgElement::load(FILE* fp) {
    bool end = false;
    int lineNo = 0;
    auto element = ReadElement(fp, 0, &end, lineNo);
    if (end) throw CfgFileErr{CfgFileErr::END, lineNo, "[END] outside any group"};
    return element;
}

std::unique_ptr<CfgElement> CfgElement::load(const char* path) {
    std::unique_ptr<FILE, int (*)(FILE*)> fp(OpenRegularFile(path, "r"), &std::fclose);
    if (!fp) throw CfgFileErr{CfgFileErr::OPEN, 0, "cannot be opened"};
    return load(fp.get());
}
