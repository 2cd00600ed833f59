#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

// Amounts added up per tick (a numbered slice of time) over the last kTicks ticks: a ring that
// forgets a tick once kTicks newer ones began. O(1) per amount; ticks before 0 are not kept.
// Used for rates and loads over the last second.
template <typename Amount, int kTicks>
class TickRing {
  public:
    // Adds amount to tick; a tick already forgotten is left out.
    void Add(int64_t tick, Amount amount) {
        if (tick > newest) {
            // Empty the slots of the ticks passed over since the newest, at most all of them.
            for (int64_t t = std::max({newest + 1, tick - kTicks + 1, int64_t{0}}); t <= tick; t++)
                slots[Slot(t)] = Amount{};
            newest = tick;
        }
        if (tick > newest - kTicks && tick >= 0) slots[Slot(tick)] += amount;
    }
    // The amounts of the ticks from first to last, both included, of those still kept.
    Amount Sum(int64_t first, int64_t last) const {
        Amount total{};
        for (int64_t t = std::max({first, newest - kTicks + 1, int64_t{0}});
             t <= std::min(last, newest); t++)
            total += slots[Slot(t)];
        return total;
    }

  private:
    static size_t Slot(int64_t tick) { return static_cast<size_t>(tick % kTicks); }

    int64_t newest = -kTicks;  // the newest tick added to
    std::array<Amount, kTicks> slots{};
};
