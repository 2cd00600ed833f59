#pragma once

#include <FL/Enumerations.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Input.H>

#include <string>

// Layout of the dialogs, in pixels.
inline int GetMargin() {
    return 10;
}
inline int BtnHeight() {
    return 30;
}
inline int BtnWidth() {  // the smallest button width
    return 80;
}
inline int FieldHeight() {
    return 25;
}

// The labels of the bit-rate choices, by bit-rate code: 0 (1 Mbit/s) to 7 (20 kbit/s).
inline const char* const kBitRateLabels[] = {"1,000,000 bps", "800,000 bps", "500,000 bps",
                                             "250,000 bps",   "125,000 bps", "100,000 bps",
                                             "50,000 bps",    "20,000 bps"};

// The alert of a dialog that needs a CAN port when the survey finds none.
inline constexpr char kNoCardsAlert[] = "No CAN cards found in system";

// The size of a button for label: 30 high, at least 80 wide, else the label and two "0" wide.
void BtnSize(const char* label, int& w, int& h);
// A button at (x, y) sized for its label. advance 1 moves x past it (the next button to the
// right), 2 moves y down a row (the next one below), 0 neither. callback and tooltip may be null.
Fl_Button* NewBtn(int& x, int& y, int advance, const char* label, Fl_Callback* callback, void* data,
                  const char* tooltip);
// An input of width w whose label, drawn to its left, fits within that width.
Fl_Input* NewInputField(int x, int y, int w, const char* label);

// Text and background colour of a severity level: 0 normal, 1 blue, 2 warning, 3 error.
struct LevelColors {
    Fl_Color text;
    Fl_Color background;
};
// Levels outside 0..3 give the error colours.
const LevelColors* GetColors(int level);

// Pops up a menu of the null-terminated labels at (x, y); the index chosen, or -1 (also for more
// than 29 labels, which are not shown). flags is not used.
int PopupMenu(int x, int y, const char** items, bool* flags);

// text as a label shows it: "@", which would start a symbol, doubled.
std::string LabelText(const std::string& text);

// Asks in a modal window whether to discard what message says would be lost, with "Discard",
// "Cancel" and a "Don't ask again" check button; closing the window cancels. True for Discard;
// dontAsk then tells whether the check button was ticked.
bool AskDiscard(const std::string& message, bool& dontAsk);
