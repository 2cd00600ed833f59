#include "ui/alert_capture.h"

#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Window.H>

#include <chrono>

#include "support/test_support.h"

namespace {

std::string alertText;

// The message of a modal box: its first labelled box (the icon box, "!" or "i", comes later).
std::string MessageOf(Fl_Window* modal) {
    std::string text;
    for (int i = modal->children() - 1; i >= 0; i--)
        if (auto* box = dynamic_cast<Fl_Box*>(modal->child(i)))
            if (box->label() && *box->label()) text = box->label();
    return text;
}

// Closes the modal box that is open, keeping its text; waits for one when none is open yet.
void CloseModal(void*) {
    Fl_Window* modal = Fl::modal();
    if (!modal) {
        Fl::repeat_timeout(0.02, CloseModal);
        return;
    }
    const std::string text = MessageOf(modal);
    if (!text.empty()) alertText = text;
    modal->hide();
}

// A modal window that nothing closes keeps the test in its event loop for ever, as an alert
// that no test expects does: once the same window has been modal for kPatience, the running
// test fails with its text and the window is closed. Looks twice a second while the event loop
// runs, for the whole run.
class ModalWatch : public testing::Environment {
  public:
    void SetUp() override { Fl::add_timeout(kLook, Look, this); }
    void TearDown() override { Fl::remove_timeout(Look, this); }

  private:
    static constexpr double kLook = 0.5;
    static void Look(void* data) {
        static_cast<ModalWatch*>(data)->Check();
        Fl::repeat_timeout(kLook, Look, data);
    }
    void Check() {
        const auto now = std::chrono::steady_clock::now();
        Fl_Window* modal = Fl::modal();
        if (modal != watched) {
            watched = modal;
            since = now;
        } else if (modal && now - since >= kPatience) {
            ADD_FAILURE() << "Closed a window left modal for " << kPatience.count() << " s: "
                          << (modal->label() && *modal->label() ? modal->label()
                                                                : MessageOf(modal));
            modal->hide();
            watched = nullptr;
        }
    }

    Fl_Window* watched = nullptr;
    std::chrono::steady_clock::time_point since;
};

testing::Environment* const modalWatch = testing::AddGlobalTestEnvironment(new ModalWatch);

}  // namespace

std::string CaptureAlert(const std::function<void()>& action) {
    alertText = "(no alert)";
    Fl::add_timeout(0.05, CloseModal);
    action();
    Fl::remove_timeout(CloseModal);
    return alertText;
}
