#include "ui/background_work.h"

#include <FL/Fl.H>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#include "base/quillon_error.h"

namespace {

// Longer than any wait: FLTK's own "forever".
constexpr double kForever = 1e20;

// The GUI thread's side of the work's end: the eventfd the worker counts up when it is done.
struct Ending {
    int fd;
    bool ended = false;  // GUI thread only
};

void cb_ended(int fd, void* data) {
    uint64_t count;
    if (read(fd, &count, sizeof count) == sizeof count) static_cast<Ending*>(data)->ended = true;
}

}  // namespace

void RunBesideWindows(const std::function<void()>& work) {
    Ending ending{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    if (ending.fd < 0) throw QuillonError(ERR_SYSTEM, std::strerror(errno));
    // Written by the worker before it counts the eventfd up, read after the join.
    std::exception_ptr failure;
    std::thread worker;
    try {
        worker = std::thread([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = write(ending.fd, &one, sizeof one);
        });
    } catch (const std::system_error& e) {
        close(ending.fd);
        throw QuillonError(ERR_SYSTEM, e.code().message());
    }
    Fl::add_fd(ending.fd, FL_READ, cb_ended, &ending);
    // Sleeps until an event, a timer or the eventfd wakes it; with a time to wait, also while
    // no window is shown (Fl::wait() returns at once then).
    while (!ending.ended) Fl::wait(kForever);
    Fl::remove_fd(ending.fd, FL_READ);
    worker.join();
    close(ending.fd);
    if (failure) std::rethrow_exception(failure);
}
