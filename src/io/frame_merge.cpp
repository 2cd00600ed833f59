#include "io/frame_merge.h"

int FrameMerge::AddSource() {
    queues.emplace_back();
    return Sources() - 1;
}

bool FrameMerge::Add(int source, const CANframe& frame, Clock::time_point arrived) {
    std::deque<Entry>& queue = queues[static_cast<size_t>(source)];
    queue.push_back(Entry{frame, arrived});
    held++;
    return queue.size() == 1;
}

int FrameMerge::Next(bool* every) const {
    int next = -1;
    *every = true;
    for (size_t s = 0; s < queues.size(); s++) {
        if (queues[s].empty()) {
            *every = false;
            continue;
        }
        const Entry& head = queues[s].front();
        if (next < 0) {
            next = static_cast<int>(s);
            continue;
        }
        const Entry& best = queues[static_cast<size_t>(next)].front();
        if (head.frame.timestamp < best.frame.timestamp ||
            (head.frame.timestamp == best.frame.timestamp && head.arrived < best.arrived))
            next = static_cast<int>(s);
    }
    return next;
}

void FrameMerge::Take(int source, CANframe& out) {
    std::deque<Entry>& queue = queues[static_cast<size_t>(source)];
    out = queue.front().frame;
    queue.pop_front();
    held--;
    if (released && out.timestamp < newest) {
        late++;
        return;
    }
    newest = out.timestamp;
    released = true;
}

bool FrameMerge::LateNext() const {
    bool every;
    const int next = Next(&every);
    return next >= 0 && released &&
           queues[static_cast<size_t>(next)].front().frame.timestamp < newest;
}

FrameMerge::Clock::time_point FrameMerge::NextDue() const {
    bool every;
    const int next = Next(&every);
    if (next < 0) return Clock::time_point::max();
    const Entry& first = queues[static_cast<size_t>(next)].front();
    if (every || (released && first.frame.timestamp < newest)) return Clock::time_point::min();
    // The frame that has waited longest is at the front of its source's queue.
    Clock::time_point oldest = Clock::time_point::max();
    for (const std::deque<Entry>& queue : queues)
        if (!queue.empty() && queue.front().arrived < oldest) oldest = queue.front().arrived;
    return oldest + window;
}

int FrameMerge::Release(Clock::time_point now, CANframe* out, int max) {
    int n = 0;
    while (n < max && NextDue() <= now) {
        bool every;
        Take(Next(&every), out[n++]);
    }
    return n;
}

int FrameMerge::Drain(CANframe* out, int max) {
    int n = 0;
    bool every;
    for (int next; n < max && (next = Next(&every)) >= 0;) Take(next, out[n++]);
    return n;
}
