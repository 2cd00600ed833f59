#pragma once

#include <functional>

// Runs work on a thread of its own while the GUI thread goes on processing the windows' events,
// and returns once it has ended; an exception that work throws is thrown again on the GUI
// thread. Throws QuillonError, work not run, when no thread can be started for it. work must
// not touch widgets. GUI thread only; the windows may call back into their owners meanwhile,
// which must stay consistent (a dialog marks itself busy).
void RunBesideWindows(const std::function<void()>& work);
