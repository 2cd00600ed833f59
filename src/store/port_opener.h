#pragma once

#include <cstdint>
#include <memory>

#include "store/frame_producer.h"

// Opens CAN ports as frame sources for the reader threads; the hardware layer implements it.
class PortOpener {
  public:
    // A source of the frames of port, opened on the card at bit-rate code baudCode, whose
    // frames are stamped relative to startTime (GetTime clock). Throws the port's QuillonError
    // when the port cannot be made, configured or opened.
    virtual std::unique_ptr<FrameProducer> OpenPort(int port, int baudCode, uint64_t startTime) = 0;

  protected:
    ~PortOpener() = default;
};
