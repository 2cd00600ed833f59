#pragma once

#include <cstdint>
#include <string>

class CANopenObjDict;

// Where the decoder finds the names and dictionaries of CANopen objects: the configured networks
// and nodes with their EDS files. Asked from any thread that decodes.
class ObjectNames {
  public:
    // The configured name of object key (index << 16 | subindex) on node id of port; false when
    // no dictionary applies.
    virtual bool ObjName(int port, int id, uint32_t key, std::string* name) = 0;
    // The dictionary of node id on port (id 0: the network's); null when none applies.
    virtual CANopenObjDict* Dictionary(int port, int id) = 0;

  protected:
    ~ObjectNames() = default;
};
