#include "ui/fe_table.h"

#include <FL/fl_draw.H>

namespace {
constexpr int kMaxDescLength = 199;
}  // namespace

FeTable::FeTable(int x, int y, int w, int h, FeList& list) : Fl_Table(x, y, w, h), elements(list) {
    rows(0);
    cols(1);
    row_header(1);
    row_height_all(20);
    col_width(0, tiw);
    color(FL_WHITE);
    end();
}

void FeTable::Refresh() {
    rows(elements.Count());
    redraw();
}

int FeTable::Selected() {
    int top, left, bottom, right;
    get_selection(top, left, bottom, right);
    return top;
}

std::string FeTable::HeaderText(int row) {
    return FeList::Letter(row) + ": ";
}

std::string FeTable::CellText(int row) {
    FilterElement* element = elements.At(row);
    if (!element) return "";
    if (!element->descSet) element->BuildDfltDesc();
    return element->desc.substr(0, kMaxDescLength);
}

void FeTable::resize(int x, int y, int w, int h) {
    Fl_Table::resize(x, y, w, h);
    col_width(0, tiw);  // the one column fills the table
}

void FeTable::draw_cell(TableContext context, int row, int, int x, int y, int w, int h) {
    switch (context) {
        case CONTEXT_ROW_HEADER:
            fl_push_clip(x, y, w, h);
            fl_font(labelfont(), labelsize());
            fl_color(FL_WHITE);
            fl_rectf(x, y, w, h);
            fl_color(FL_BLACK);
            fl_draw(HeaderText(row).c_str(), x, y, w, h, FL_ALIGN_RIGHT);
            fl_pop_clip();
            break;
        case CONTEXT_CELL: {
            const bool selected = is_selected(row, 0);
            fl_push_clip(x, y, w, h);
            fl_font(labelfont(), labelsize());
            fl_color(selected ? FL_BLUE : FL_WHITE);
            fl_rectf(x, y, w, h);
            fl_color(selected ? FL_WHITE : FL_BLACK);
            fl_draw(CellText(row).c_str(), x, y, w, h, FL_ALIGN_LEFT);
            fl_pop_clip();
            break;
        }
        default:
            break;
    }
}
