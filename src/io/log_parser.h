#pragma once

#include "store/can_frame.h"

// Turns one line of a log file into a frame.
class LogParser {
  public:
    virtual ~LogParser() = default;
    // True when frame now holds something to store. May write into line.
    virtual bool Parse(char*, CANframe&) { return false; }
    // After a false Parse: the line was one the format has (a header, say) but that no entry
    // stands for, so it was not lost.
    virtual bool Skipped() const { return false; }
};

// The log grammar: [timestamp] WORD[port][.R|.X]: [id [- [bytes...|RMT]]], WORD being CAN, RTR
// or ERROR. Lines that are not frames become text frames or are dropped.
class LogParserVexa : public LogParser {
  public:
    bool Parse(char* line, CANframe& frame) override;
};
