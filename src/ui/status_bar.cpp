#include "ui/status_bar.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "base/utils.h"
#include "hw/port_table.h"
#include "session/session.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "ui/msg_list.h"
#include "ui/ui_helpers.h"

namespace {

constexpr double kRefresh = 0.25;  // seconds between updates
constexpr int kPad = 12;           // beside a field's text

StatusBar* Self(void* data) {
    return static_cast<StatusBar*>(data);
}

void cb_refresh(void* data) {
    Self(data)->Refresh();
    Fl::repeat_timeout(kRefresh, cb_refresh, data);
}

void cb_follow(Fl_Widget*, void* data) {
    static_cast<MsgList*>(data)->Follow();
}

// 1234567 as "1,234,567".
std::string Grouped(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Elapsed(std::chrono::steady_clock::duration d) {
    const long long s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    return Format("%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
}

}  // namespace

StatusBar::StatusBar(int x, int y, int w, Session& session, MsgList& list)
    : Fl_Group(x, y, w, kHeight), session(session), list(list) {
    for (int f = 0; f < kFields; f++) {
        Fl_Widget* widget;
        if (f == kFollow) {
            follow = new Fl_Button(x, y, 1, kHeight);
            follow->box(FL_THIN_UP_BOX);
            follow->callback(cb_follow, &list);
            follow->tooltip("Follow the newest frames (End)");
            follow->clear_visible_focus();  // the keys stay with the list
            widget = follow;
        } else {
            widget = new Fl_Box(x, y, 1, kHeight);
            widget->box(FL_THIN_DOWN_BOX);
        }
        widget->labelsize(12);
        widget->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_CLIP);
        widgets[static_cast<size_t>(f)] = widget;
    }
    end();
    resizable(nullptr);
    Refresh();
    Fl::add_timeout(kRefresh, cb_refresh, this);
}

StatusBar::~StatusBar() {
    Fl::remove_timeout(cb_refresh, this);
}

void StatusBar::SetCapture(CaptureState state) {
    const auto now = std::chrono::steady_clock::now();
    if (state == capture) return;
    if (state == CaptureState::kIdle) {
        ran = now - started;
        captured = true;
    } else {
        started = now;
    }
    ports.clear();
    if (state == CaptureState::kReceiving) {
        std::vector<int> rates(PortTable::kMaxPorts, -1);  // -1: not monitored
        const int found = session.ports().GetPortList(rates.data(), PortTable::kMaxPorts);
        for (int port = 0; port < found; port++)
            if (rates[static_cast<size_t>(port)] >= 0) ports.push_back(port);
    }
    capture = state;
    Refresh();
}

void StatusBar::SetSaving(bool writing) {
    saving = writing;
    Refresh();
}

std::string StatusBar::FieldText(Field field) {
    switch (field) {
        case kFollow:
            if (list.Following()) return "following";
            return list.PausedAt() >= 0 ? "paused at row " + std::to_string(list.PausedAt())
                                        : "paused";
        case kFrames: {
            MsgStore& store = session.store();
            const int stored = store.GetTotal(nullptr, nullptr);
            const int capacity = std::max(store.GetMax(), 1);
            return Grouped(static_cast<uint64_t>(stored)) + " stored, " +
                   Grouped(static_cast<uint64_t>(session.view().GetTotal(nullptr, nullptr))) +
                   " shown, fill " + Format("%lld %%", 100LL * stored / capacity);
        }
        case kCapture: {
            const auto now = std::chrono::steady_clock::now();
            switch (capture) {
                case CaptureState::kReceiving:
                    return "receiving " + Elapsed(now - started);
                case CaptureState::kReplaying:
                    return "replaying " + Elapsed(now - started);
                case CaptureState::kIdle:
                    break;
            }
            return captured ? "stopped after " + Elapsed(ran) : "idle";
        }
        case kPorts: {
            std::string text;
            for (int port : ports)
                text += Format("%sport %d: %.0f %%", text.empty() ? "" : ", ", port,
                               session.ports().Loading(port));
            return text;
        }
        case kFilter:
            return session.FilterExpression().empty() ? "no filter"
                                                      : "filter " + session.FilterExpression();
        case kSave: {
            const std::string& path = session.SavePath();
            if (path.empty()) return "";
            const char* state = saving                         ? "saving "
                                : session.WriteError().empty() ? "saved "
                                                               : "not saved ";
            return state + path.substr(path.rfind('/') + 1);
        }
        case kLost: {
            std::string text;
            auto add = [&text](uint64_t n, const char* what) {
                if (n > 0) text += (text.empty() ? "" : ", ") + (what + Grouped(n));
            };
            add(session.readers().LateFrames(), "late: ");
            add(session.readers().DroppedLines(), "lines dropped: ");
            add(session.Unwritten(), "not written: ");
            return text;
        }
        case kFields:
            break;
    }
    return "";
}

void StatusBar::Refresh() {
    bool changed = false;
    for (int f = 0; f < kFields; f++) {
        std::string text = FieldText(static_cast<Field>(f));
        if (text == texts[static_cast<size_t>(f)]) continue;
        texts[static_cast<size_t>(f)] = std::move(text);
        changed = true;
    }
    if (changed) Layout();
}

std::string StatusBar::Text() const {
    std::string text;
    for (const std::string& field : texts)
        if (!field.empty()) text += (text.empty() ? "" : " | ") + field;
    return text;
}

void StatusBar::resize(int x, int y, int w, int h) {
    Fl_Widget::resize(x, y, w, h);
    Layout();
}

void StatusBar::Layout() {
    int last = -1;
    for (int f = 0; f < kFields; f++)
        if (!texts[static_cast<size_t>(f)].empty()) last = f;
    int at = x();
    for (int f = 0; f < kFields; f++) {
        Fl_Widget* widget = widgets[static_cast<size_t>(f)];
        const std::string& text = texts[static_cast<size_t>(f)];
        if (text.empty()) {
            widget->hide();
            continue;
        }
        widget->copy_label(LabelText(text).c_str());
        fl_font(widget->labelfont(), widget->labelsize());
        int width = static_cast<int>(fl_width(text.c_str())) + kPad;
        // The button keeps its width from "following" to "paused at row 1234567".
        if (f == kFollow)
            width = std::max(width, static_cast<int>(fl_width("paused at row 8888888")) + kPad);
        if (f == last) width = std::max(x() + w() - at, 0);
        widget->resize(at, y(), width, h());
        widget->show();
        at += width;
    }
    redraw();
}
