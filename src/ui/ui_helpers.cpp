#include "ui/ui_helpers.h"

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
