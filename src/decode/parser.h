#pragma once

#include <string>

#include "decode/parsed_message.h"
#include "store/can_frame.h"

// The decoder interface, and itself the raw decoder, which knows nothing beyond CAN.
class Parser {
  public:
    // The short description of frame; with a message, also its decoded lines. May raise
    // frame.status, never lowers it.
    virtual std::string doParse(CANframe& frame, ParsedMessage* message);
    virtual ~Parser() = default;
    // Forgets what Scan learned.
    virtual void FlushState() {}
    // Called once for every frame entering the message store, in arrival order, with its store
    // index and the stored frame itself, which the decoder may annotate.
    virtual void Scan(int index, CANframe& frame);
    virtual std::string GetShortDesc(CANframe& frame) { return doParse(frame, nullptr); }
    // A new message (caller owns) holding a copy of frame and its decoded lines.
    virtual ParsedMessage* Parse(CANframe& frame);
};
