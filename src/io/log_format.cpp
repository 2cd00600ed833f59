#include "io/log_format.h"

#include <strings.h>

#include <cstring>

#include "io/asc_log.h"
#include "io/candump_log.h"
#include "io/trc_log.h"

namespace {

constexpr int kLinesLooked = 50;
constexpr size_t kLineBuffer = 1000;

// Whether line is a frame of format: a frame record, or a text entry standing for a frame.
bool IsFrame(LogFormat format, const char* line) {
    char copy[kLineBuffer];
    std::strncpy(copy, line, sizeof copy - 1);
    copy[sizeof copy - 1] = '\0';
    const std::unique_ptr<LogParser> parser = CreateLogParser(format);
    CANframe frame;
    return parser->Parse(copy, frame) && (frame.type != FRAME_TEXT || parser->Oversized());
}

bool StartsNoCase(const char* line, const char* word) {
    return strncasecmp(line, word, std::strlen(word)) == 0;
}

// The format whose header line is line, or Detect when it is none.
LogFormat HeaderFormat(const char* line) {
    while (*line == ' ' || *line == '\t') line++;
    if (std::strncmp(line, ";$FILEVERSION", 13) == 0 || std::strncmp(line, ";$STARTTIME", 11) == 0)
        return LogFormat::Trc;
    if (StartsNoCase(line, "base hex") || StartsNoCase(line, "base dec") ||
        StartsNoCase(line, "begin triggerblock"))
        return LogFormat::Asc;
    return LogFormat::Detect;
}

}  // namespace

bool LogFormatByName(const std::string& name, LogFormat* format) {
    static const struct {
        const char* name;
        LogFormat format;
    } names[] = {{"quillon", LogFormat::Quillon},
                 {"candump", LogFormat::Candump},
                 {"asc", LogFormat::Asc},
                 {"trc", LogFormat::Trc}};
    for (const auto& n : names)
        if (name == n.name) {
            *format = n.format;
            return true;
        }
    return false;
}

LogFormat LogFormatByExtension(const std::string& path) {
    static const struct {
        const char* extension;
        LogFormat format;
    } extensions[] = {{".log", LogFormat::Quillon},
                      {".candump", LogFormat::Candump},
                      {".txt", LogFormat::Candump},
                      {".asc", LogFormat::Asc},
                      {".trc", LogFormat::Trc}};
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return LogFormat::Quillon;
    for (const auto& e : extensions)
        if (strcasecmp(path.c_str() + dot, e.extension) == 0) return e.format;
    return LogFormat::Quillon;
}

LogFormat DetectLogFormat(const char* head, size_t size) {
    // A header line only suggests its format: any log of ours may hold a comment that reads like
    // one. The first frame line decides, as a frame of the suggested format when it is one.
    LogFormat suggested = LogFormat::Detect;
    const char* end = head + size;
    int looked = 0;
    for (const char* p = head; p < end && looked < kLinesLooked;) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (!eol) eol = end;
        const std::string line(p, static_cast<size_t>(eol - p) < kLineBuffer - 1
                                      ? static_cast<size_t>(eol - p)
                                      : kLineBuffer - 1);
        p = eol + 1;
        if (line.find_first_not_of(" \t\r\f\v") == std::string::npos) continue;
        looked++;
        const LogFormat header = HeaderFormat(line.c_str());
        if (header != LogFormat::Detect) {
            if (suggested == LogFormat::Detect) suggested = header;
            continue;
        }
        if (suggested != LogFormat::Detect && IsFrame(suggested, line.c_str())) return suggested;
        for (LogFormat format :
             {LogFormat::Quillon, LogFormat::Candump, LogFormat::Trc, LogFormat::Asc})
            if (IsFrame(format, line.c_str())) return format;
    }
    return suggested == LogFormat::Detect ? LogFormat::Quillon : suggested;
}

std::unique_ptr<LogParser> CreateLogParser(LogFormat format) {
    switch (format) {
        case LogFormat::Candump:
            return std::make_unique<CandumpLogParser>();
        case LogFormat::Asc:
            return std::make_unique<AscLogParser>();
        case LogFormat::Trc:
            return std::make_unique<TrcLogParser>();
        default:
            return std::make_unique<QuillonLogParser>();
    }
}

std::unique_ptr<LogFormatWriter> CreateLogFormatWriter(LogFormat format) {
    switch (format) {
        case LogFormat::Candump:
            return std::make_unique<CandumpLogFormatWriter>();
        case LogFormat::Asc:
            return std::make_unique<AscLogFormatWriter>();
        case LogFormat::Trc:
            return std::make_unique<TrcLogFormatWriter>();
        default:
            return std::make_unique<QuillonLogFormatWriter>();
    }
}
