#include "io/log_reader.h"

#include <cctype>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"

namespace {
constexpr int kLineBuffer = 1000;
constexpr size_t kFileBuffer = 1 << 16;
constexpr size_t kTextCheck = 1 << 16;

// Whether the start of the file, head, looks like text: no NUL byte, and control characters
// other than white space in at most one byte of ten. A binary file would otherwise become
// millions of rows of garbage text.
bool LooksLikeText(const std::vector<char>& head) {
    size_t control = 0;
    for (const char ch : head) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == 0) return false;
        if ((c < 0x20 && !std::isspace(c)) || c == 0x7F) control++;
    }
    return control * 10 <= head.size();
}

}  // namespace

LogReader::LogReader(FILE* fp, std::unique_ptr<LogParser> parser)
    : fp(fp), lineParser(std::move(parser)) {}

LogReader::~LogReader() {
    if (fp) std::fclose(fp);
}

bool LogReader::getNextFrame(CANframe& frame) {
    if (!fp) throw QuillonError(4, "Log file not open");
    // A read error ends the file too: it would not clear by reading on.
    if (feof_unlocked(fp) || ferror_unlocked(fp)) {
        std::fclose(fp);
        fp = nullptr;
        lineParser.reset();
        throw EndOfFileException();
    }
    // Only this reader's thread uses the stream. The parser sees at most the first
    // kLineBuffer - 1 characters of a line; the rest of a longer line is skipped, so that no piece
    // of it is taken for a line of its own. The sentinel tells whether fgets filled the buffer
    // without reaching the end of the line (also when the line holds NUL bytes).
    char line[kLineBuffer];
    line[kLineBuffer - 2] = '\n';
    if (!fgets_unlocked(line, sizeof line, fp)) return false;
    if (line[kLineBuffer - 2] != '\n')
        for (int c = getc_unlocked(fp); c != EOF && c != '\n';) c = getc_unlocked(fp);
    if (lineParser->Parse(line, frame)) return true;
    if (lineParser->Skipped()) return false;
    for (const char* c = line; *c && *c != '\n'; c++)
        if (!std::isspace(static_cast<unsigned char>(*c))) {
            dropped.store(dropped.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            break;
        }
    return false;
}

std::unique_ptr<LogReader> OpenLogFile(const std::string& path, LogFormat format) {
    FILE* fp = OpenRegularFile(path.c_str(), "rb");
    if (!fp) throw QuillonError(12, "Unable to open log file: " + path);
    std::setvbuf(fp, nullptr, _IOFBF, kFileBuffer);
    std::vector<char> head(kTextCheck);
    head.resize(std::fread(head.data(), 1, head.size(), fp));
    std::rewind(fp);
    if (!LooksLikeText(head)) {
        std::fclose(fp);
        throw QuillonError(12, "Unable to open log file: " + path + " is not a text log");
    }
    if (format == LogFormat::Detect) format = DetectLogFormat(head.data(), head.size());
    return std::make_unique<LogReader>(fp, CreateLogParser(format));
}
