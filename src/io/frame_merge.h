#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "store/can_frame.h"

// The order in which the frames of several ports are stored: by time stamp across the ports, each
// port's own frames in the order they came. Each port's reader hands its frames over as it reads
// them, and the readers do not keep pace with each other, so a frame may come after a newer one
// of another port. A frame is held until every port has handed over a frame at least as new, or
// until the oldest frame held has waited the window, whichever comes first; then the frame with
// the oldest stamp among the ports' first frames is released. A frame older than the newest one
// released comes too late for its place: it is released at once (never lost) and counted.
//
// No threads and no clock of its own: the caller tells the time, so that the rules can be followed
// step by step (MergeStage runs them on a thread of its own).
class FrameMerge {
  public:
    using Clock = std::chrono::steady_clock;

    explicit FrameMerge(Clock::duration window) : window(window) {}

    // A new port, numbered from 0 in the order they are added.
    int AddSource();
    int Sources() const { return static_cast<int>(queues.size()); }
    // Holds frame, handed over by source at arrived. True when the source held nothing before, so
    // that what is due may have changed (a frame behind others changes nothing until they go).
    bool Add(int source, const CANframe& frame, Clock::time_point arrived);
    // Moves up to max frames that are due at now to out, in the order they are to be stored;
    // returns how many.
    int Release(Clock::time_point now, CANframe* out, int max);
    // The same for every frame held, due or not (the end of reading).
    int Drain(CANframe* out, int max);
    // When the next frame held falls due, if none is due before then; Clock::time_point::max()
    // when nothing is held.
    Clock::time_point NextDue() const;
    size_t Held() const { return held; }
    // True when the frame that goes next is late.
    bool LateNext() const;
    // Frames released after a newer one.
    uint64_t Late() const { return late; }

  private:
    struct Entry {
        CANframe frame;
        Clock::time_point arrived;
    };

    // The source whose first frame goes next (the oldest stamp; among equal ones the earliest
    // arrival), -1 when nothing is held. every: set to whether every source holds a frame.
    int Next(bool* every) const;
    // Moves the first frame of source to out, counting it when it comes late.
    void Take(int source, CANframe& out);

    const Clock::duration window;
    std::vector<std::deque<Entry>> queues;  // per source, in arrival order
    size_t held = 0;
    uint64_t newest = 0;  // stamp of the newest frame released
    bool released = false;
    uint64_t late = 0;
};
