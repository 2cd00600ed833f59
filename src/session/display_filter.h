#pragma once

#include <memory>

#include "base/threads_posix.h"
#include "filter/filter_logic.h"
#include "store/frame_filter.h"

// The display filter: the expression the filtered view matches every frame with. Replaced on the
// GUI thread while reader threads match frames, so both happen under `lock`.
class DisplayFilter : public FrameFilter {
  public:
    // Passes everything at first.
    DisplayFilter() : logic(std::make_unique<FilterLogic>()) {}

    Mutex& FilterLock() override { return lock; }
    bool Passes(const CANframe& frame) override { return logic->Match(frame); }
    // Puts replacement in place and returns the filter it replaces.
    std::unique_ptr<FilterLogic> Replace(std::unique_ptr<FilterLogic> replacement) {
        MutexLock hold(lock);
        logic.swap(replacement);
        return replacement;
    }

  private:
    Mutex lock;  // guards logic while it is matched or replaced
    std::unique_ptr<FilterLogic> logic;
};
