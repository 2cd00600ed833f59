#pragma once

#include <cstdint>
#include <functional>

#include "store/can_frame.h"

// The CANopen objects a stored frame carries beyond the one its SDO transfer addresses (objID):
// the objects a PDO frame's mapping held when it arrived, as the decoder learned them. Asked by
// filters, on any thread that filters.
class FrameObjects {
  public:
    // Whether test holds for an object (index << 16 | sub-index) of frame's PDO mapping.
    virtual bool CarriesObject(const CANframe& frame,
                               const std::function<bool(uint32_t key)>& test) = 0;

  protected:
    ~FrameObjects() = default;
};
