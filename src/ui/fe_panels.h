#pragma once

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>

#include <memory>

#include "filter/filter_element.h"

// One panel of the element dialog: the fields of one element kind. Panels are indexed by the
// feType() of their kind.
class FeDlg : public Fl_Group {
  public:
    using Fl_Group::Fl_Group;
    // Fills the fields from an element of the panel's kind.
    virtual void Init(FilterElement* fe) = 0;
    // A new element from the fields; null after an alert that names the faulty field.
    virtual std::unique_ptr<FilterElement> CreateFE() = 0;
    // The kind's name in the dialog's type choice.
    virtual const char* GetDesc() const = 0;

  protected:
    // x of the fields: right of the widest of the labels (null-terminated).
    int FieldX(const char* const* labels) const;
    // The width for a number like sample in a field at fieldX, within the panel.
    int FieldWidth(int fieldX, const char* sample) const;
    // The field's text as a number; false after the alert what followed by the text.
    static bool Parse(const Fl_Input* field, const char* what, int32_t& value);
};

class FeDlg_CanID : public FeDlg {
  public:
    FeDlg_CanID(int x, int y, int w, int h);
    void Init(FilterElement* fe) override;
    std::unique_ptr<FilterElement> CreateFE() override;
    const char* GetDesc() const override { return "CAN Message ID"; }

    Fl_Input* maskInput;
    Fl_Input* valueInput;
};

class FeDlg_ObjID : public FeDlg {
  public:
    FeDlg_ObjID(int x, int y, int w, int h);
    void Init(FilterElement* fe) override;
    std::unique_ptr<FilterElement> CreateFE() override;
    const char* GetDesc() const override { return "CANopen Object ID"; }
    // The sub-index is editable exactly when "Any" is not ticked.
    void SyncAny();

    Fl_Input* idInput;
    Fl_Input* subInput;
    Fl_Check_Button* anyButton;
    Fl_Choice* cmpChoice;  // item = comparison code + 2
};

class FeDlg_Port : public FeDlg {
  public:
    FeDlg_Port(int x, int y, int w, int h);
    void Init(FilterElement* fe) override;
    std::unique_ptr<FilterElement> CreateFE() override;
    const char* GetDesc() const override { return "CAN Port Number"; }

    Fl_Input* portInput;
};
