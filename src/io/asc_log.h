#pragma once

// The Vector ASC log format: its reader and its writer.

#include <cstdint>

#include "io/foreign_log.h"

// Lines of Vector ASC logs. Channels 1..n become ports 0..n-1. Comments ("//") and events
// (time-stamped lines that are no frame) become text entries; the header lines are skipped.
// Identifiers and bytes are hexadecimal or decimal as the "base" line says.
class AscLogParser : public ForeignLogParser {
  public:
    bool Parse(char* line, CANframe& frame) override;

  private:
    bool Header(int count);
    // The frame of a classic CAN line from the channel word on (at); false when it is none.
    bool ClassicFrame(int at, int count, CANframe& frame);
    bool FdFrame(int count, CANframe& frame);
    bool Number(const Word& w, uint32_t* value) const;
    bool Id(const Word& w, CANframe& frame) const;

    bool decimal = false;   // "base dec"
    bool relative = false;  // "timestamps relative": each time counts from the previous
    uint64_t previous = 0;  // the previous line's time, microseconds
};

// Vector ASC with hexadecimal numbers and absolute times; text entries become comments. The
// log holds no date of its own, so the header names the start of the epoch.
class AscLogFormatWriter : public ForeignLogFormatWriter {
  public:
    void Begin(FILE* out) override;
    void Write(const CANframe& frame, FILE* out) override;
    void End(FILE* out) override;
};
