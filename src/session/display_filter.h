#pragma once

#include <memory>
#include <mutex>

#include "filter/filter_logic.h"
#include "store/frame_filter.h"

// The display filter: the expression the filtered view matches every frame with. Replaced on the
// GUI thread while reader threads match frames, so both happen under `lock`.
class DisplayFilter : public FrameFilter {
  public:
    // Passes everything at first.
    DisplayFilter() : logic(std::make_unique<FilterLogic>()) {}

    std::mutex& FilterLock() override { return lock; }
    bool Passes(const CANframe& frame) override { return logic->Match(frame); }
    // Puts replacement in place and returns the filter it replaces.
    std::unique_ptr<FilterLogic> Replace(std::unique_ptr<FilterLogic> replacement) {
        std::lock_guard<std::mutex> hold(lock);
        logic.swap(replacement);
        return replacement;
    }

  private:
    std::mutex lock;  // guards logic while it is matched or replaced
    std::unique_ptr<FilterLogic> logic;
};
