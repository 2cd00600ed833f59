#pragma once

#include <string>

#include "decode/parsed_message.h"
#include "store/can_frame.h"

class CANopenNode;

// The SDO conversation of one node: follows it frame by frame in the scan pass and decodes its
// frames. For now the frames are described as plain CAN frames.
class SDO {
  public:
    explicit SDO(CANopenNode* node) : node(node) {}

    // The scan step for one stored SDO frame of the node (data frames only), in store order.
    void scan(int index, CANframe& frame);
    // Adds the decoded lines to message.
    std::string parse(CANframe& frame, ParsedMessage* message);
    std::string getShortDesc(CANframe& frame);

    CANopenNode* node;  // the owner
};
