#pragma once

#include "filter/fe_list.h"
#include "ui/filt_dialog.h"

// The filter dialog without a window: the element list and a selected row. quillon-dump defines
// its elements here, and the program uses it until the dialog window exists.
class HeadlessFiltDialog : public FiltDialog {
  public:
    // There is no window to show or to place.
    void Show() override {}
    void GetXY(int& x, int& y) override { x = y = -1; }
    void AddFE(std::unique_ptr<FilterElement> element) override { list.Add(std::move(element)); }
    void ReplaceFE(std::unique_ptr<FilterElement> element) override {
        list.Replace(selected, std::move(element));
    }
    std::unique_ptr<FilterElement> FindFE(std::string name) override { return list.Find(name); }

    // The row ReplaceFE works on; -1 for none.
    void Select(int row) { selected = row; }
    const FeList& Elements() const { return list; }
    // Removes the selected element.
    void Delete() { list.Delete(selected); }

  private:
    FeList list;
    int selected = -1;
};
