#pragma once

#include <memory>

#include "sim/emulated_driver.h"

// The emulated card driver the environment variable QUILLON_SIM chooses ("demo", "flood" or a
// description file), which the program's cards (Cards) use in place of the real driver. Made at
// start-up, before the cards, and kept until the program ends.
class SimulatedCards {
  public:
    // selection: the variable's value; null or empty chooses the real driver. Throws
    // QuillonError for a description with a mistake, before anything runs.
    explicit SimulatedCards(const char* selection);
    SimulatedCards(const SimulatedCards&) = delete;
    SimulatedCards& operator=(const SimulatedCards&) = delete;

    // The emulated driver for the cards, null when the real one is used.
    EmulatedDriver* driver() const { return emulated.get(); }

  private:
    std::unique_ptr<EmulatedDriver> emulated;
};
