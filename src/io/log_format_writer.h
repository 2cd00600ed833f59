#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "store/can_frame.h"

// Writes frames as the lines of one log format: the program's own, candump -l, Vector ASC or
// PEAK TRC 2.1. Ports 0..n-1 are written as interfaces can0.. or channels and buses 1..n.
class LogFormatWriter {
  public:
    virtual ~LogFormatWriter() = default;
    // The lines before the first frame.
    virtual void Begin(FILE*) {}
    virtual void Write(const CANframe& frame, FILE* out) = 0;
    // The lines after the last frame.
    virtual void End(FILE*) {}
};

// The writer for the format named quillon, candump, asc or trc; null for any other name.
std::unique_ptr<LogFormatWriter> CreateLogFormatWriter(const std::string& name);
