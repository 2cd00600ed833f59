#pragma once

#include <FL/Fl_Pixmap.H>

// The toolbar's pictures; null until LoadIcons. Record and pause are not on the toolbar.
extern Fl_Pixmap* iconOpen;
extern Fl_Pixmap* iconSave;
extern Fl_Pixmap* iconPlay;
extern Fl_Pixmap* iconStop;
extern Fl_Pixmap* iconClose;
extern Fl_Pixmap* iconFilter;
extern Fl_Pixmap* iconDelta;
extern Fl_Pixmap* iconRecord;
extern Fl_Pixmap* iconPause;

// Builds the pictures once; they live for the whole run.
void LoadIcons();
