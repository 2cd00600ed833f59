#pragma once

#include <cstddef>
#include <cstdint>

#include "store/can_frame.h"

// Turns one line of a log file into a frame.
class LogParser {
  public:
    virtual ~LogParser() = default;
    // True when frame now holds something to store. May write into line.
    virtual bool Parse(char*, CANframe&) { return false; }
    // The same for the n characters at line, which is followed by a NUL (line[n] == 0). The
    // reader hands lines this way so that a parser need not measure them again.
    virtual bool ParseLine(char* line, size_t, CANframe& frame) { return Parse(line, frame); }
    // After a false Parse: the line was one the format has (a header, say) but that no entry
    // stands for, so it was not lost.
    virtual bool Skipped() const { return false; }
    // After a true Parse: the text entry made stands for a frame on the bus too large for a frame
    // record.
    virtual bool Oversized() const { return false; }
};

// The log grammar: [timestamp] WORD[port][.R|.X]: [id [- [bytes...|RMT]]], WORD being CAN, RTR
// or ERROR. Lines that are not frames become text frames or are dropped. A data or remote frame
// whose identifier has the extended mark is an extended frame, as it was when it was written.
class QuillonLogParser : public LogParser {
  public:
    bool Parse(char* line, CANframe& frame) override;
    bool ParseLine(char* line, size_t n, CANframe& frame) override;
};
