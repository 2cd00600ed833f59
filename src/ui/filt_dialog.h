#pragma once

#include <memory>
#include <string>

#include "filter/filter_element.h"

// The filter dialog: the list of filter elements that expressions name by letter, and the
// expression that becomes the display filter. One for the whole run (App().filtDialog).
class FiltDialog {
  public:
    virtual void Show() = 0;
    virtual ~FiltDialog() = default;
    // The dialog window's screen position; negative when it has none.
    virtual void GetXY(int& x, int& y) = 0;
    // Appends an element; dropped when the list is full.
    virtual void AddFE(std::unique_ptr<FilterElement> element) = 0;
    // Removes the selected element, when one is selected, and appends element in its stead.
    virtual void ReplaceFE(std::unique_ptr<FilterElement> element) = 0;
    // A copy of the named element, or null.
    virtual std::unique_ptr<FilterElement> FindFE(std::string name) = 0;
};

// The program's filter dialog.
std::unique_ptr<FiltDialog> CreateFiltDialog();
