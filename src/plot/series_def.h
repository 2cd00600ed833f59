#pragma once

#include <cstdint>
#include <string>

#include "store/can_frame.h"

// What one trace plots, as written on quillon-dump's command line and listed in the plot
// window's choice of traces:
//   NODE:INDEX[:SUB][@PORT]  the value of an object a PDO carries or an SDO transfer wrote or read
//   load:PORT                the bus load of a port in percent
//   rate:ID[@PORT]           an identifier's frames per second (ID "all": every frame's)
//   errors[@PORT]            error frames and emergencies per second
// Numbers are decimal or 0x-hexadecimal. Without @PORT, every port.
struct SeriesDef {
    enum class Kind : uint8_t { kObject, kLoad, kRate, kErrors };

    Kind kind = Kind::kObject;
    int port = -1;  // -1: any
    int node = 0;   // kObject
    uint16_t index = 0;
    uint8_t sub = 0;
    bool anyId = false;  // kRate: every identifier of the port
    uint32_t id = 0;     // kRate: as frames hold it (bit 29 for 29-bit identifiers)

    // Reads text; on failure says why in error and returns false.
    static bool Parse(const std::string& text, SeriesDef* def, std::string* error);
    // Written back as Parse reads it: the CSV header and the legend's key.
    std::string Text() const;
    bool operator==(const SeriesDef& o) const { return Text() == o.Text(); }
    // Whether frame is on the series' port.
    bool OnPort(const CANframe& frame) const { return port < 0 || port == frame.port; }
    // A load, rate or error series: whether frame counts towards it (an emergency raised counts
    // as an error, its reset does not). False for an object's value.
    bool Counts(const CANframe& frame) const;
};
