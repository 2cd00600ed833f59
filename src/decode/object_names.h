#pragma once

#include <cstdint>
#include <string>

// Where the decoder finds the names of CANopen objects: the configured networks and nodes with
// their EDS files. Asked from any thread that decodes.
class ObjectNames {
  public:
    // The configured name of object key (index << 16 | subindex) on node id of port; false when
    // no dictionary applies.
    virtual bool ObjName(int port, int id, uint32_t key, std::string* name) = 0;

  protected:
    ~ObjectNames() = default;
};
