#pragma once

#include <FL/Fl_Table.H>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "status/status_tables.h"

// One table of the network status under a header row. Rows are coloured by their health, and in
// the column of data bytes the bytes that changed in the last second are highlighted. A click on
// a column's header sorts by it (numbers as numbers, the rest as text), a second click reverses
// the order; port and node filters hide rows. Rows are selected with the mouse (Shift extends,
// Ctrl toggles) and the arrow, page, Home and End keys; Ctrl+A selects all.
//
// Rows come and go by Update, which keeps the order and the selection: a row that comes in the
// place of a selected one with the same key is selected. Sorting and filtering cost time in
// proportion to the rows that change; only the rows in view are drawn. Each row keeps its cells
// as one tab-separated line. GUI thread only.
//
// A change of the selection by the user calls the callback with CONTEXT_CELL and the row
// clicked or moved to.
class StatusTableView : public Fl_Table {
  public:
    using Column = StatusTable::Column;
    using Row = StatusTable::Row;

    StatusTableView(int x, int y, int w, int h, const char* label);

    // The columns, which empties the table. keyColumns: those whose cells together tell a row
    // from the others; bytesColumn: the data bytes (Row::changed), -1 for none.
    void SetColumns(std::vector<Column> columns, std::vector<int> keyColumns, int bytesColumn);
    // Drops the first front and the last back rows, then appends rows.
    void Update(size_t front, size_t back, std::vector<Row> rows);
    // Shows only the rows of port and of node; -1 for any.
    void SetFilter(int port, int node);
    // Sorts by column, ascending; descending when it is sorted by column already. -1: the order
    // the rows came in.
    void SortBy(int column);

    // All rows, and the cell and the row's store index of a row shown.
    size_t Total() const { return lines.size(); }
    std::string_view Cell(int shown, int column) const;
    int64_t Frame(int shown) const;
    Health RowHealth(int shown) const;
    bool Selected(int shown) const;
    // Selects only the row shown, and brings it into view; -1 selects none.
    void SelectOnly(int shown);
    // The header line and the selected rows in the order shown, a line each, tab-separated; ""
    // when no row is selected.
    std::string SelectedText() const;
    // The column sorted by (-1: none) and whether the order is descending.
    int SortColumn() const { return sortColumn; }
    bool Descending() const { return descending; }
    const std::vector<Column>& Columns() const { return columns; }

    int handle(int event) override;
    // Where a cell or header is drawn.
    using Fl_Table::find_cell;

  protected:
    void draw_cell(TableContext context, int row, int col, int x, int y, int w, int h) override;

  private:
    struct Line {
        std::string cells;  // joined by tabs: a cell holds none
        int64_t frame = -1;
        double number = 0;  // the sort column's cell as a number, when it is numeric
        uint32_t sortAt = 0, sortLength = 0;  // the sort column's cell in cells
        int16_t port = -1, node = -1;
        Health health = Health::kOk;
        uint8_t changed = 0;
        bool selected = false;
    };
    static std::string_view CellOf(const std::string& cells, int column);
    std::string Key(const Line& line) const;
    void SetSortKey(Line& line) const;
    bool Passes(const Line& line) const;
    // Whether line a comes before line b in the order shown.
    bool Before(uint32_t a, uint32_t b) const;
    // Orders all lines anew (sort or filter changed).
    void Reorder();
    // The table's rows are those in order.
    void ShowRows();
    // The user changed the selection: a click at shown row with the keyboard state, or a move.
    void Click(int row, int state);
    void Changed(int row);
    // The row shown whose key is key, -1 for none.
    int ShownOf(const std::string& key) const;
    void FitColumns();
    void DrawBytes(std::string_view cell, uint8_t changed, int x, int baseline, bool selected);

    std::vector<Column> columns;
    std::vector<int> keyColumns;
    int bytesColumn = -1;
    std::deque<Line> lines;       // in the order they came
    std::vector<uint32_t> order;  // the lines shown (filtered), in the order shown
    int sortColumn = -1;
    bool descending = false;
    int portFilter = -1, nodeFilter = -1;
    std::string anchor;  // key of the row a Shift-click extends from, "" for none
    int cursor = -1;     // the line the keys move from, -1 for none
    bool dragging = false;
    bool fitted = false;  // the columns' widths were fitted to rows
};
