// gtest before FLTK: X11 headers define None.
#include <gtest/gtest.h>

#include "ui/background_work.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "base/quillon_error.h"
#include "support/test_support.h"

namespace {

// What the GUI thread's timer tells the work.
struct Signal {
    std::mutex lock;  // guards fired
    std::condition_variable changed;
    bool fired = false;
};

void cb_fire(void* data) {
    auto* signal = static_cast<Signal*>(data);
    {
        std::lock_guard<std::mutex> hold(signal->lock);
        signal->fired = true;
    }
    signal->changed.notify_all();
}

}  // namespace

// The work runs on a thread of its own while the GUI thread goes on with its events: the work
// waits for a timer that only the GUI thread's event loop can fire. Its exception comes back.
TEST(BackgroundWorkTest, WorkRunsBesideTheEventLoopAndItsErrorComesBack) {
    fl_open_display();
    Signal signal;
    Fl::add_timeout(0, cb_fire, &signal);
    std::thread::id worker;
    bool fired = false;
    RunBesideWindows([&] {
        worker = std::this_thread::get_id();
        std::unique_lock<std::mutex> hold(signal.lock);
        fired = signal.changed.wait_for(hold, kPatience, [&] { return signal.fired; });
    });
    EXPECT_TRUE(fired);
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_EQ(ThrownError([] { RunBesideWindows([] { throw QuillonError(21, "refused"); }); }),
              "21 refused");
    EXPECT_THROW(RunBesideWindows([] { throw std::runtime_error("other"); }), std::runtime_error);
}
