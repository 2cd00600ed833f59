#include "io/log_reader.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"

namespace {
constexpr size_t kLineBuffer = 1000;
constexpr size_t kBlock = 1 << 18;
constexpr size_t kTextCheck = 1 << 16;
// A run of NULs this long is no text: the file has turned binary.
constexpr uint64_t kBinaryRun = kTextCheck;

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
    : fp(fp),
      lineParser(std::move(parser)),
      block(new char[kBlock + 1]),
      blockStart(std::ftell(fp)) {}

LogReader::~LogReader() {
    if (fp) std::fclose(fp);
}

bool LogReader::Refill() {
    if (atEnd) return false;
    std::memmove(block.get(), block.get() + at, filled - at);
    blockStart += static_cast<int64_t>(at);
    filled -= at;
    at = 0;
    // A read error ends the file too: it would not clear by reading on.
    const size_t got = std::fread(block.get() + filled, 1, kBlock - filled, fp);
    filled += got;
    block[filled] = '\0';
    atEnd = got == 0;
    CheckBinary(filled - got);
    return true;
}

void LogReader::CheckBinary(size_t from) {
    const char* const start = block.get();
    const char* p = start + from;
    const char* const end = start + filled;
    while (p < end) {
        if (*p) {
            nulRun = 0;
            p = static_cast<const char*>(std::memchr(p, 0, end - p));
            if (!p) return;
        }
        if (nulRun == 0) nulStart = blockStart + (p - start);
        const char* q = p;
        while (q < end && !*q) q++;
        nulRun += static_cast<uint64_t>(q - p);
        p = q;
        if (nulRun >= kBinaryRun) {
            binaryFrom.store(nulStart, std::memory_order_relaxed);
            // What was read of the run before is handed on already; the rest is not.
            const int64_t cut = nulStart - blockStart;
            filled = cut > static_cast<int64_t>(at) ? static_cast<size_t>(cut) : at;
            atEnd = true;
            return;
        }
    }
}

char* LogReader::NextLine(size_t* n) {
    // A line is what fgets would read into a buffer of kLineBuffer: at most kLineBuffer - 1
    // characters, the newline included. The rest of a longer line is skipped, so that no piece of
    // it is taken for a line of its own.
    for (;;) {
        char* from = block.get() + at;
        const size_t left = filled - at;
        char* newline = static_cast<char*>(std::memchr(from, '\n', left));
        if (skipping) {
            at = newline ? newline + 1 - block.get() : filled;
            skipping = !newline;
            if (skipping && !Refill()) {
                endedInLine.store(true, std::memory_order_relaxed);
                return nullptr;
            }
            continue;
        }
        size_t len = newline ? newline + 1 - from : left;
        if (newline && len <= kLineBuffer - 1) {
            at += len;
        } else if (newline || len >= kLineBuffer - 1) {
            len = kLineBuffer - 1;
            at = newline ? newline + 1 - block.get() : filled;
            skipping = !newline;
        } else if (atEnd && len > 0) {
            at = filled;  // the last line, without a newline
            endedInLine.store(true, std::memory_order_relaxed);
        } else {
            if (!Refill()) return nullptr;
            continue;
        }
        *n = len;
        return from;
    }
}

bool LogReader::getNextFrame(CANframe& frame) {
    if (!fp) throw QuillonError(4, "Log file not open");
    // Only this reader's thread uses the stream.
    // As with fgets: the call that finds nothing more returns false, the next one (or the one
    // after a last line without a newline) reports the end.
    if (atEnd && at == filled) {
        std::fclose(fp);
        fp = nullptr;
        lineParser.reset();
        block.reset();
        throw EndOfFileException();
    }
    size_t n;
    char* line = NextLine(&n);
    if (!line) return false;
    // The line is parsed in place; the character after it, the next line's first, is put back
    // afterwards.
    const char next = line[n];
    line[n] = '\0';
    bool parsed = lineParser->ParseLine(line, n, frame);
    // A line of NULs (or with them) is dropped as any other: they are no white space.
    if (!parsed && !lineParser->Skipped())
        for (size_t i = 0; i < n; i++)
            if (!std::isspace(static_cast<unsigned char>(line[i]))) {
                dropped.store(dropped.load(std::memory_order_relaxed) + 1,
                              std::memory_order_relaxed);
                break;
            }
    line[n] = next;
    return parsed;
}

LogReadReport LogReader::Report() const {
    LogReadReport report;
    report.droppedLines = dropped.load(std::memory_order_relaxed);
    report.endedInLine = endedInLine.load(std::memory_order_relaxed);
    report.binaryFrom = binaryFrom.load(std::memory_order_relaxed);
    return report;
}

int LogReader::getNextFrames(CANframe* frames, int max) {
    if (endMet) throw EndOfFileException();
    int n = 0;
    try {
        while (n < max)
            if (getNextFrame(frames[n])) n++;
    } catch (const EndOfFileException&) {
        if (n == 0) throw;
        endMet = true;
    }
    return n;
}

std::unique_ptr<LogReader> OpenLogFile(const std::string& path, LogFormat format) {
    FILE* fp = OpenRegularFile(path.c_str(), "rb");
    if (!fp) throw QuillonError(12, "Unable to open log file: " + path);
    std::vector<char> head(kTextCheck);
    head.resize(std::fread(head.data(), 1, head.size(), fp));
    // A byte-order mark is no part of the first line.
    const size_t mark = ByteOrderMarkAt(head.data(), head.size());
    head.erase(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(mark));
    std::fseek(fp, static_cast<long>(mark), SEEK_SET);
    if (!LooksLikeText(head)) {
        std::fclose(fp);
        throw QuillonError(12, "Unable to open log file: " + path + " is not a text log");
    }
    if (format == LogFormat::Detect) format = DetectLogFormat(head.data(), head.size());
    return std::make_unique<LogReader>(fp, CreateLogParser(format));
}
