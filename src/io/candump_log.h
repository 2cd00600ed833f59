#pragma once

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
