#pragma once

#include <cstdint>

// The pseudo-random numbers of the simulations (splitmix64): the same seed gives the same
// traffic on every machine.
class SimRandom {
  public:
    explicit SimRandom(uint64_t seed) : state(seed) {}
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // From lo to hi, both included.
    uint32_t Range(uint32_t lo, uint32_t hi) {
        return lo + static_cast<uint32_t>(Next() % (uint64_t{hi} - lo + 1));
    }
    bool OneIn(uint32_t n) { return Next() % n == 0; }

  private:
    uint64_t state;
};
