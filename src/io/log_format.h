#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "io/log_format_writer.h"
#include "io/log_parser.h"

// The log formats the program reads and writes: its own, and those of candump, Vector ASC and
// PEAK TRC.
enum class LogFormat { Detect, Quillon, Candump, Asc, Trc };

// The format named quillon, candump, asc or trc; false for any other name.
bool LogFormatByName(const std::string& name, LogFormat* format);
// The format a log is saved in by the extension of its path, in any case: .candump and .txt
// candump, .asc ASC, .trc TRC; the program's own for .log and any other.
LogFormat LogFormatByExtension(const std::string& path);
// The format of a log from its first bytes: the first non-empty lines that only one format
// has. The program's own format when none other shows, so its logs always read as they are.
LogFormat DetectLogFormat(const char* head, size_t size);
// A fresh line parser for format (Detect: the program's own).
std::unique_ptr<LogParser> CreateLogParser(LogFormat format);
// A fresh writer of format's lines (Detect: the program's own).
std::unique_ptr<LogFormatWriter> CreateLogFormatWriter(LogFormat format);
