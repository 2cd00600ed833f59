#pragma once

#include <memory>

#include "sim/emulated_driver.h"

// The emulated card driver the environment variable QUILLON_SIM chooses ("demo", "flood" or a
// description file), put in place of the real driver for the lifetime of this object. Made at
// start-up, before any port is opened, and kept until the program ends.
class SimulatedCards {
  public:
    // selection: the variable's value; null or empty leaves the real driver in place. Throws
    // QuillonError for a description with a mistake, before anything runs.
    explicit SimulatedCards(const char* selection);
    ~SimulatedCards();
    SimulatedCards(const SimulatedCards&) = delete;
    SimulatedCards& operator=(const SimulatedCards&) = delete;

    // The emulated driver, null when the real one is used.
    EmulatedDriver* driver() const { return emulated.get(); }

  private:
    std::unique_ptr<EmulatedDriver> emulated;
};
