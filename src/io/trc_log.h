#pragma once

// The PEAK TRC log format: its reader (versions 1.x and 2.x) and its writer (version 2.1).

#include "io/foreign_log.h"

// Lines of PEAK TRC logs, versions 1.x ("N)" lines: number, time, [bus,] [type,] identifier,
// length, bytes or RTR) and 2.x (columns as the ";$COLUMNS" line lists them). Buses 1..n become
// ports 0..n-1. Comment lines become text entries, apart from the header's directives and its
// column pictures; status and event lines become text entries too.
class TrcLogParser : public ForeignLogParser {
  public:
    bool Parse(char* line, CANframe& frame) override;

  private:
    bool Directive(const char* line);
    bool Version1(int count, CANframe& frame);
    bool Version2(int count, CANframe& frame);
    // Fills id, length and data from the words from at on; false when they are no frame.
    // fd: a CAN FD frame, whose length codes above 8 stand for up to 64 bytes.
    bool IdAndBytes(int idAt, int lengthAt, bool isCode, bool fd, int count, CANframe& frame);

    char columns[16] = "NOTBIdRLD";  // the ;$COLUMNS letters
    bool inHeader = true;            // no entry line yet: comments with bars picture the columns
};

// PEAK TRC 2.1; text entries become comments.
class TrcLogFormatWriter : public ForeignLogFormatWriter {
  public:
    void Begin(FILE* out) override;
    void Write(const CANframe& frame, FILE* out) override;

  private:
    unsigned long number = 0;  // the message number of the last line written
};
