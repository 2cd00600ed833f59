#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "io/log_format.h"
#include "io/log_parser.h"
#include "store/frame_producer.h"

// Thrown by a log source whose file is exhausted.
class EndOfFileException {};

// Frames from a log file, one line at a time.
class LogReader : public FrameProducer {
  public:
    LogReader(FILE* fp, std::unique_ptr<LogParser> parser);
    ~LogReader() override;
    // False for a line that is no frame. Throws EndOfFileException once the file is exhausted
    // (and closes it), QuillonError 4 when called after that.
    bool getNextFrame(CANframe& frame) override;
    // Lines read so far that were neither a frame nor text (blank lines aside).
    uint64_t DroppedLines() const { return dropped; }

  private:
    FILE* fp;
    std::unique_ptr<LogParser> lineParser;
    std::atomic<uint64_t> dropped{0};  // written by the reading thread only
};

// A reader for the log file at path, in format (Detect: recognised from its first lines).
// Throws QuillonError 12 when it cannot be opened or is no text.
std::unique_ptr<LogReader> OpenLogFile(const std::string& path,
                                       LogFormat format = LogFormat::Detect);
