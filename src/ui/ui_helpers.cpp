#include "ui/ui_helpers.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/fl_draw.H>

#include <vector>

namespace {
constexpr int kMaxPopupItems = 29;
}  // namespace

void BtnSize(const char* label, int& w, int& h) {
    h = BtnHeight();
    const int wanted = static_cast<int>(fl_width(label) + 2 * fl_width("0"));
    w = wanted > BtnWidth() ? wanted : BtnWidth();
}

Fl_Button* NewBtn(int& x, int& y, int advance, const char* label, Fl_Callback* callback, void* data,
                  const char* tooltip) {
    int w, h;
    BtnSize(label, w, h);
    auto* button = new Fl_Button(x, y, w, h, label);
    if (callback) button->callback(callback, data);
    if (tooltip) button->tooltip(tooltip);
    if (advance == 1) x += w + GetMargin();
    if (advance == 2) y += h + GetMargin();
    return button;
}

Fl_Input* NewInputField(int x, int y, int w, const char* label) {
    const int labelWidth = static_cast<int>(fl_width(label));
    return new Fl_Input(x + labelWidth, y, w - labelWidth, FieldHeight(), label);
}

const LevelColors* GetColors(int level) {
    static const LevelColors kColors[4] = {
        {FL_BLACK, FL_WHITE},
        {FL_BLUE, FL_WHITE},
        {static_cast<Fl_Color>(0xFF801000), FL_WHITE},
        {FL_RED, FL_WHITE},
    };
    return &kColors[level >= 0 && level < 4 ? level : 3];
}

int PopupMenu(int x, int y, const char** items, bool*) {
    int count = 0;
    while (items[count]) count++;
    if (count > kMaxPopupItems) return -1;
    std::vector<Fl_Menu_Item> menu(count + 1);  // zero-filled: the last one ends the menu
    for (int i = 0; i < count; i++) menu[i].text = items[i];
    const Fl_Menu_Item* chosen = menu[0].popup(x, y);
    return chosen ? static_cast<int>(chosen - menu.data()) : -1;
}

namespace {

// What a button of AskDiscard's window answers, and the window it closes.
struct DiscardAnswer {
    Fl_Window* window;
    bool discard = false;
};

void cb_discard(Fl_Widget*, void* data) {
    static_cast<DiscardAnswer*>(data)->discard = true;
    static_cast<DiscardAnswer*>(data)->window->hide();
}
void cb_cancel(Fl_Widget*, void* data) {
    static_cast<DiscardAnswer*>(data)->window->hide();
}

}  // namespace

bool AskDiscard(const std::string& message, bool& dontAsk) {
    constexpr int kWidth = 420, kHeight = 150;
    const int m = GetMargin();
    Fl_Double_Window window(kWidth, kHeight);
    DiscardAnswer answer{&window};
    auto* text = new Fl_Box(m, m, kWidth - 2 * m, kHeight - 3 * m - BtnHeight() - FieldHeight());
    text->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP);
    text->copy_label(message.c_str());
    auto* check = new Fl_Check_Button(m, kHeight - 2 * m - BtnHeight() - FieldHeight(),
                                      kWidth - 2 * m, FieldHeight(), "Don't ask again");
    int dw, dh, cw, ch;
    BtnSize("Discard", dw, dh);
    BtnSize("Cancel", cw, ch);
    int x = kWidth - m - cw - m - dw, y = kHeight - m - BtnHeight();
    NewBtn(x, y, 0, "Discard", cb_discard, &answer, nullptr);
    x = kWidth - m - cw;
    Fl_Button* cancel = NewBtn(x, y, 0, "Cancel", cb_cancel, &answer, nullptr);
    window.end();
    window.callback(cb_cancel, &answer);
    window.set_modal();
    window.show();
    Fl::focus(cancel);
    while (window.shown()) Fl::wait();
    dontAsk = check->value() != 0;
    return answer.discard;
}

std::string LabelText(const std::string& text) {
    std::string out;
    for (char c : text) {
        out.push_back(c);
        if (c == '@') out.push_back('@');
    }
    return out;
}
