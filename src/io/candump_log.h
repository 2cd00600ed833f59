#pragma once

// The log format of `candump -l`: its reader and its writer.

#include <string>
#include <vector>

#include "io/foreign_log.h"

// Lines of `candump -l` logs: "(seconds.micros) interface frame", the frame written as
// ID#DATA, ID#R[len] or ID##FLAGS DATA for CAN FD. Interfaces become ports 0, 1, ... in the
// order they first appear.
class CandumpLogParser : public ForeignLogParser {
  public:
    bool Parse(char* line, CANframe& frame) override;

  private:
    // The port of interface name, -1 when no port is left; add numbers a new interface, else
    // the number it would get is only told.
    int Port(const Word& name, bool add);

    std::vector<std::string> interfaces;  // index: port
};

// candump -l lines: "(seconds.micros) canN ID#DATA"; text entries have no place in them.
class CandumpLogFormatWriter : public ForeignLogFormatWriter {
  public:
    void Write(const CANframe& frame, FILE* out) override;

  private:
    // A SocketCAN error frame that says what the error bits of the record say: protocol
    // violations, a missing acknowledge, controller overflows, the classes a port keeps as bits
    // of their own (bus-off, transmit time-out, ...) and the error counters. It is always marked
    // a bus error, as tools that read these logs look for that mark.
    static void WriteError(const CANframe& frame, FILE* out);
};
