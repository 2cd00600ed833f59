#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "io/log_format.h"
#include "io/log_parser.h"
#include "store/frame_producer.h"

// Thrown by a log source whose file is exhausted.
class EndOfFileException {};

// Frames from a log file, one line at a time. The file is read in large blocks and each line is
// parsed where it stands in the block.
class LogReader : public FrameProducer {
  public:
    LogReader(FILE* fp, std::unique_ptr<LogParser> parser);
    ~LogReader() override;
    // False for a line that is no frame. Throws EndOfFileException once the file is exhausted
    // (and closes it), QuillonError 4 when called after that.
    bool getNextFrame(CANframe& frame) override;
    // Frames of the lines that follow, up to max of them. The end of the file is thrown by the
    // call after the one that handed the last frames.
    int getNextFrames(CANframe* frames, int max) override;
    // Lines read so far that were neither a frame nor text (blank lines aside).
    uint64_t DroppedLines() const { return dropped; }

  private:
    // The next line in the block: its start and length (the newline included), cut to what a
    // line buffer holds; null at the end of the file.
    char* NextLine(size_t* n);
    // Moves the unread rest of the block to its start and reads on; false at the end of the file.
    bool Refill();

    FILE* fp;
    std::unique_ptr<LogParser> lineParser;
    std::vector<char> block;  // one byte more than is read, for a NUL after the last line
    size_t at = 0;            // the unread part of block is [at, filled)
    size_t filled = 0;
    bool atEnd = false;     // nothing more to read from fp
    bool skipping = false;  // the rest of a line too long for a line buffer is to be skipped
    bool endMet = false;    // getNextFrames met the end of the file with frames still to hand back
    std::atomic<uint64_t> dropped{0};  // written by the reading thread only
};

// A reader for the log file at path, in format (Detect: recognised from its first lines).
// Throws QuillonError 12 when it cannot be opened or is no text.
std::unique_ptr<LogReader> OpenLogFile(const std::string& path,
                                       LogFormat format = LogFormat::Detect);
