#pragma once

#include <functional>
#include <string>

#include "decode/frame_values.h"
#include "decode/parsed_message.h"
#include "store/can_frame.h"
#include "store/frame_decoder.h"
#include "store/frame_objects.h"

// The decoder interface, and itself the raw decoder, which knows nothing beyond CAN (nor objects).
class Parser : public FrameDecoder, public FrameObjects {
  public:
    // The short description of frame; with a message, also its decoded lines. May raise
    // frame.status, never lowers it.
    virtual std::string doParse(CANframe& frame, ParsedMessage* message);
    // Forgets what Scan learned.
    void FlushState() override {}
    // Called once for every frame entering the message store, in arrival order, with its store
    // index and the stored frame itself, which the decoder may annotate together with the
    // earlier frames in stored.
    void Scan(StoreIndex index, CANframe& frame, StoredFrames& stored) override;
    virtual std::string GetShortDesc(CANframe& frame) { return doParse(frame, nullptr); }
    // The short description, and what the frame carries as values (PDO objects, an SDO
    // transfer's value, a TIME, a SYNC counter); the raw decoder finds none.
    virtual std::string Describe(CANframe& frame, FrameValues* values) {
        (void)values;
        return doParse(frame, nullptr);
    }
    // A new message (caller owns) holding a copy of frame and its decoded lines.
    virtual ParsedMessage* Parse(CANframe& frame);
    bool CarriesObject(const CANframe&, const std::function<bool(uint32_t)>&) override {
        return false;
    }
};
