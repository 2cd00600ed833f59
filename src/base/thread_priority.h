#pragma once

#include <thread>

// Real-time scheduling for the threads that must keep up with their source: the reader threads
// and the log writer run first-in-first-out (SCHED_FIFO) when the system allows it, as other
// threads do otherwise.

// Their priority, 0 (lowest) to 9.
constexpr int kWorkerPriority = 5;

// The SCHED_FIFO priority for a priority of 0 to 9 within the system's range min..max.
int RealTimePriority(int priority, int min, int max);

// Moves a running thread to SCHED_FIFO at priority (0 to 9). Where the system refuses (no right
// to real-time scheduling) the thread keeps the scheduling it has; false then.
bool SetRealTimePriority(std::thread& thread, int priority);
