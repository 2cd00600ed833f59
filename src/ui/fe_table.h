#pragma once

#include <FL/Fl_Table.H>

#include <string>

#include "filter/fe_list.h"

// The filter dialog's list of elements: one row per element of an element list, headed by the
// element's letter, showing its description. The list owns the elements; the table only shows
// them and must be told (Refresh) when the list changed. GUI thread only.
class FeTable : public Fl_Table {
  public:
    FeTable(int x, int y, int w, int h, FeList& elements);

    // Takes the list's element count as the row count and redraws.
    void Refresh();
    // The top row of the selection; -1 when nothing was selected yet.
    int Selected();
    // "A: " for row 0, "A1: " for row 26.
    static std::string HeaderText(int row);
    // The description of the row's element, the default one unless the user gave one.
    std::string CellText(int row);

    void resize(int x, int y, int w, int h) override;
    // Where a cell or a row header is drawn.
    using Fl_Table::find_cell;

  protected:
    void draw_cell(TableContext context, int row, int col, int x, int y, int w, int h) override;

  private:
    FeList& elements;
};
