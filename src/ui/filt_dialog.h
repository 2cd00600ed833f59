#pragma once

#include <FL/Fl_Help_Dialog.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>

#include <memory>
#include <string>

#include "filter/fe_list.h"
#include "ui/fe_dialog.h"
#include "ui/fe_table.h"
#include "ui/windows.h"

class Session;

// The filter dialog ("Message Filter"): the expression over element letters at the top, the
// table of elements under it, and Add, Edit, Delete, OK, Apply and Help. OK and Apply make the
// expression the session's display filter. The element list lives in `elements` from the
// start; the window is built on the first Show() or GetXY() and then only shown and hidden.
// GUI thread only.
class FiltDialogFLTK : public FiltDialog {
  public:
    // session: whose display filter OK and Apply replace. owner: the window it opens beside; may
    // be null.
    FiltDialogFLTK(Session& session, MainFrame* owner);
    ~FiltDialogFLTK() override;
    FiltDialogFLTK(const FiltDialogFLTK&) = delete;
    FiltDialogFLTK& operator=(const FiltDialogFLTK&) = delete;

    void Show() override;
    void GetXY(int& x, int& y) override;
    void AddFE(std::unique_ptr<FilterElement> element) override;
    void ReplaceFE(std::unique_ptr<FilterElement> element) override;
    std::unique_ptr<FilterElement> FindFE(std::string name) override;

    // The element dialog on the selected row's element; for a new element when none is selected.
    void Edit();
    // Removes the selected row's element; the later ones move up a letter, in the expression too,
    // where the deleted one's name becomes FeList::kDeletedName.
    void Delete();
    // Parses the expression and installs it as the display filter, rebuilding the filtered
    // view; the event loop runs meanwhile. An expression that does not parse is shown in an
    // alert and changes nothing: false, as for a press while a rebuild runs.
    bool Apply();
    void Help();

    std::unique_ptr<Fl_Help_Dialog> helpDlg;  // from the first Help
    std::unique_ptr<FeDialog> feDlg;
    std::unique_ptr<Fl_Window> window;  // null until first built
    Fl_Input* exprInput = nullptr;
    FeTable* table = nullptr;
    FeList elements;        // owns the elements the table shows
    bool applying = false;  // a rebuild runs, under Apply

  private:
    void Build();
    // After the element in slot of a list of before elements was deleted or moved: the
    // expression names it newName and the later elements by their letters now, so that it keeps
    // its meaning.
    void Rename(int slot, int before, const std::string& newName);
    int Selected() { return table ? table->Selected() : -1; }
    void Changed() {
        if (table) table->Refresh();
    }

    Session& session;
    MainFrame* const owner;
};

// The program's filter dialog, without a window until it is first shown.
std::unique_ptr<FiltDialog> CreateFiltDialog(Session& session, MainFrame* owner);
