#pragma once

#include <FL/Fl_Help_Dialog.H>

#include <memory>

// The HTML help page of a dialog: "filter", "netcfg" or "analyzer", or the main window's keys
// and mouse actions: "keys"; "Unknown help tag" for any other tag.
const char* GetHelpText(const char* tag);
// Shows the help page of tag in dialog, making the dialog on first use; later calls show it
// as the user left it.
void ShowHelpPage(std::unique_ptr<Fl_Help_Dialog>& dialog, const char* tag);
