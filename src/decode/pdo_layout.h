#pragma once

#include <memory>
#include <string>
#include <vector>

#include "decode/data_types.h"
#include "decode/frame_values.h"
#include "decode/pdo_config.h"

class CANopenObjDict;

// A PDO's mapping read against the dictionary of its node once, when the mapping comes into
// force: where each object lies in the frame, its name and type, and the texts every frame of
// the PDO shows. Frames then only read their values.
struct PdoLayout {
    struct Field {
        DecodedValue value;  // all but the value itself
        const DataType* type;
        std::string note;  // why the entry shows no value, or empty
        std::string head;  // the detail line before the value
    };

    std::string label;   // "TPDO1"
    std::string prefix;  // of the short description: "TPDO1<-5: "
    std::string title;   // the first detail line: "TPDO1 from node 5"
    std::vector<Field> fields;
    int bits = 0;       // of the whole mapping, dummies included
    std::string why;    // when set, frames show as the raw decoder shows them, with this line
    bool warn = false;  // why is a warning: the mapping and the dictionary disagree
    bool multiplexed = false;
};

// The layout of PDO num of direction dir of node by its parameters and the node's dictionary
// (null: none).
std::shared_ptr<const PdoLayout> MakePdoLayout(const PdoParameters& params, PdoDir dir, int num,
                                               int node, CANopenObjDict* dict);
