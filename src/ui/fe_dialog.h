#pragma once

#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>

#include <memory>

#include "ui/fe_panels.h"
#include "ui/windows.h"

// The element dialog: creates one filter element, or edits one, for the filter dialog.
class FeDialog {
  public:
    virtual ~FeDialog() = default;
    // Opens the dialog on a copy of fe's values; with null, for a new element, with the values
    // last entered.
    virtual void Show(FilterElement* fe) = 0;
    virtual void Hide() = 0;
};

// The element dialog's window: description, type choice and one panel per element kind. OK
// hands the new element to the filter dialog, which appends it, or, when editing, puts it in
// the place of the selected one. The window is modal, built on the first Show and kept, so the
// fields keep their texts between openings. GUI thread only.
class FeDialogFLTK : public FeDialog {
  public:
    // owner: the filter dialog that receives the elements and near which the window opens.
    explicit FeDialogFLTK(FiltDialog& owner);

    void Show(FilterElement* fe) override;
    void Hide() override;
    // Shows the panel of element kind type, hides the others.
    void ShowPanel(int type);
    // The element from the selected panel's fields, handed to the filter dialog; the window
    // stays open after an alert.
    void Ok();

    std::unique_ptr<Fl_Window> window;  // null until the first Show
    Fl_Input* descInput = nullptr;
    Fl_Choice* typeChoice = nullptr;
    FeDlg* panels[3] = {};  // by feType()
    bool editing = false;   // OK replaces the selected element instead of adding one

  private:
    void Build();

    FiltDialog& owner;
};

std::unique_ptr<FeDialog> CreateFeDialog(FiltDialog& owner);
