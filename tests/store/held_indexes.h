#pragma once

#include <vector>

#include "store/filt_store.h"

// The store indexes a filtered view holds, oldest first.
inline std::vector<int> Held(FiltStore& view) {
    std::vector<int> held;
    int first, last;
    view.GetTotal(&first, &last);
    for (int i = first; i <= last; i++) held.push_back(view.GetFrameID(i));
    return held;
}
