#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "decode/pdo_config.h"
#include "sim/eds_values.h"
#include "store/can_frame.h"

// A PDO in force by a simulated node's dictionary: its frame's identifier and its mapping
// entries (index << 16 | sub-index << 8 | bit length). Both ends of the simulated network build
// and read PDO frames by it: the nodes their TPDOs and received RPDOs, the master the RPDOs it
// sends.
struct SimPdo {
    uint32_t id = 0;
    std::vector<uint32_t> entries;

    // The PDOs of one direction that objects configure and keep in force (a valid COB-ID, 1 to
    // 64 entries), in number order up to the first whose parameters are missing.
    static std::vector<SimPdo> InForce(const std::map<uint32_t, ObjValue>& objects, PdoDir dir);

    // The frame's data carrying the mapped objects' values (an object missing from values as
    // 0); false when the mapping does not fit 8 bytes.
    bool Pack(const std::map<uint32_t, ObjValue>& values, uint8_t data[8], int* length) const;
    // Writes the mapped objects of objects from a frame of this PDO (dummies and objects it
    // lacks are skipped); false, writing nothing, when the frame is shorter than the mapping.
    bool Unpack(const CANframe& frame, std::map<uint32_t, ObjValue>& objects) const;
};
