#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "store/can_frame.h"

// A time stamp (microseconds, or a part of one) as printf's %llu takes it.
inline unsigned long long Micros(uint64_t micros) {
    return micros;
}

// Writes frames as the lines of one log format: the program's own, candump -l, Vector ASC or
// PEAK TRC 2.1. Ports 0..n-1 are written as interfaces can0.. or channels and buses 1..n. One
// writer per file: a format may number its lines.
class LogFormatWriter {
  public:
    virtual ~LogFormatWriter() = default;
    // The lines before the first frame.
    virtual void Begin(FILE*) {}
    virtual void Write(const CANframe& frame, FILE* out) = 0;
    // Whether the format can carry frame as it is. A frame it cannot carry is left out and
    // counted by the caller, never written as another frame.
    virtual bool Carries(const CANframe&) const { return true; }
    // The lines after the last frame.
    virtual void End(FILE*) {}
};

// What a writer of frames says of the frames it left out as their format cannot carry them.
std::string LeftOutMessage(uint64_t frames);

// The program's own lines, which QuillonLogParser reads back.
class QuillonLogFormatWriter : public LogFormatWriter {
  public:
    void Write(const CANframe& frame, FILE* out) override;
};
