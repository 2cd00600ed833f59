#include "ui/alert_capture.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Window.H>

namespace {

std::string alertText;

// Closes the modal box that is open, keeping its text; waits for one when none is open yet.
void CloseModal(void*) {
    Fl_Window* modal = Fl::modal();
    if (!modal) {
        Fl::repeat_timeout(0.02, CloseModal);
        return;
    }
    // The message is the first labelled box (the icon box, "!" or "i", comes later).
    for (int i = modal->children() - 1; i >= 0; i--)
        if (auto* box = dynamic_cast<Fl_Box*>(modal->child(i)))
            if (box->label() && *box->label()) alertText = box->label();
    modal->hide();
}

}  // namespace

std::string CaptureAlert(const std::function<void()>& action) {
    alertText = "(no alert)";
    Fl::add_timeout(0.05, CloseModal);
    action();
    Fl::remove_timeout(CloseModal);
    return alertText;
}
