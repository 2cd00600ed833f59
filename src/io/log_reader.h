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

// What a log file's reading lost or found amiss.
struct LogReadReport {
    uint64_t droppedLines = 0;  // neither a frame nor text (blank lines aside)
    bool endedInLine = false;   // the last line had no end of line: the file may have been cut
    int64_t binaryFrom = -1;    // where the file turned binary and reading stopped, or -1
};

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
    // What the reading lost or found amiss so far.
    LogReadReport Report() const;

  private:
    // The next line in the block: its start and length (the newline included), cut to what a
    // line buffer holds; null at the end of the file.
    char* NextLine(size_t* n);
    // Moves the unread rest of the block to its start and reads on; false at the end of the file.
    bool Refill();
    // Ends the file where a run of NULs too long for any text log begins in the bytes of the
    // block from from on: the rest of a file cut by a crash, or a disk image.
    void CheckBinary(size_t from);

    FILE* fp;
    std::unique_ptr<LogParser> lineParser;
    // Not zeroed: only what is read is looked at, and the byte after it, kept a NUL for a last
    // line without one. One byte more than is read.
    std::unique_ptr<char[]> block;
    size_t at = 0;  // the unread part of block is [at, filled)
    size_t filled = 0;
    bool atEnd = false;      // nothing more to read from fp
    bool skipping = false;   // the rest of a line too long for a line buffer is to be skipped
    bool endMet = false;     // getNextFrames met the end of the file with frames still to hand back
    int64_t blockStart = 0;  // the file offset of block's first byte
    uint64_t nulRun = 0;     // NULs that end the bytes read so far
    int64_t nulStart = 0;    // the file offset where they begin
    // Written by the reading thread only.
    std::atomic<uint64_t> dropped{0};
    std::atomic<bool> endedInLine{false};
    std::atomic<int64_t> binaryFrom{-1};
};

// A reader for the log file at path, in format (Detect: recognised from its first lines).
// Throws QuillonError 12 when it cannot be opened or is no text.
std::unique_ptr<LogReader> OpenLogFile(const std::string& path,
                                       LogFormat format = LogFormat::Detect);
