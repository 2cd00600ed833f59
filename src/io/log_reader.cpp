#include "io/log_reader.h"

#include <sys/stat.h>

#include "base/quillon_error.h"

namespace {
constexpr int kLineBuffer = 1000;  // a longer line is read, and parsed, in pieces
constexpr size_t kFileBuffer = 1 << 16;
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
    // Only this reader's thread uses the stream.
    char line[kLineBuffer];
    if (!fgets_unlocked(line, sizeof line, fp)) return false;
    return lineParser->Parse(line, frame);
}

FrameProducer* OpenLogFile(const std::string& path) {
    FILE* fp = std::fopen(path.c_str(), "rb");
    struct stat info;
    if (fp && (fstat(fileno(fp), &info) != 0 || S_ISDIR(info.st_mode))) {
        std::fclose(fp);
        fp = nullptr;
    }
    if (!fp) throw QuillonError(12, "Unable to open log file: " + path);
    std::setvbuf(fp, nullptr, _IOFBF, kFileBuffer);
    return new LogReader(fp, std::make_unique<LogParserVexa>());
}
