#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "io/log_parser.h"

// The log formats the program reads: its own, and those of candump, Vector ASC and PEAK TRC.
enum class LogFormat { Detect, Quillon, Candump, Asc, Trc };

// The format named quillon, candump, asc or trc; false for any other name.
bool LogFormatByName(const std::string& name, LogFormat* format);
// The format of a log from its first bytes: the first non-empty lines that only one format
// has. The program's own format when none other shows, so its logs always read as they are.
LogFormat DetectLogFormat(const char* head, size_t size);
// A fresh line parser for format (Detect: the program's own).
std::unique_ptr<LogParser> CreateLogParser(LogFormat format);
