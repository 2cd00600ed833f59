#include "ui/status_table_view.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <unordered_set>

namespace {

using Kind = StatusTable::Kind;

constexpr Fl_Font kFont = FL_HELVETICA;
constexpr Fl_Fontsize kFontSize = 12;
constexpr int kRowHeight = 18;
constexpr int kHeaderHeight = 22;
constexpr int kPad = 4;        // between a cell's border and its text
constexpr int kSortMark = 14;  // room for the sort order's triangle in a header
constexpr int kMaxColumnWidth = 360;
constexpr size_t kFitSample = 200;  // rows measured when the columns are fitted
constexpr int kDataBytes = 8;

// Row backgrounds by health, the changed data bytes, the grid.
Fl_Color Background(Health health) {
    switch (health) {
        case Health::kFault:
            return fl_rgb_color(255, 205, 205);
        case Health::kWarning:
            return fl_rgb_color(255, 243, 170);
        default:
            return FL_WHITE;
    }
}
Fl_Color ChangedByte() {
    return fl_rgb_color(255, 170, 60);
}
Fl_Color Grid() {
    return fl_rgb_color(225, 225, 225);
}

}  // namespace

StatusTableView::StatusTableView(int x, int y, int w, int h, const char* label)
    : Fl_Table(x, y, w, h, label) {
    rows(0);
    cols(0);
    col_header(1);
    col_header_height(kHeaderHeight);
    col_resize(1);
    row_header(0);
    color(FL_WHITE);
    end();
}

std::string_view StatusTableView::CellOf(const std::string& cells, int column) {
    size_t at = 0;
    for (int c = 0; c < column; c++) {
        at = cells.find('\t', at);
        if (at == std::string::npos) return {};
        at++;
    }
    const size_t end = cells.find('\t', at);
    return std::string_view(cells).substr(at, end == std::string::npos ? end : end - at);
}

std::string StatusTableView::Key(const Line& line) const {
    std::string key;
    for (int column : keyColumns) key.append(CellOf(line.cells, column)).push_back('\t');
    return key;
}

void StatusTableView::SetSortKey(Line& line) const {
    if (sortColumn < 0) return;
    const std::string_view cell = CellOf(line.cells, sortColumn);
    line.sortAt = static_cast<uint32_t>(cell.data() - line.cells.data());
    line.sortLength = static_cast<uint32_t>(cell.size());
    // Empty number cells come first; the cell ends at a tab or at the end of the line.
    line.number = cell.empty() ? -HUGE_VAL : std::strtod(cell.data(), nullptr);
}

bool StatusTableView::Passes(const Line& line) const {
    return (portFilter < 0 || line.port == portFilter) &&
           (nodeFilter < 0 || line.node == nodeFilter);
}

bool StatusTableView::Before(uint32_t a, uint32_t b) const {
    if (sortColumn < 0) return a < b;
    const Line& x = lines[a];
    const Line& y = lines[b];
    int c;
    if (columns[static_cast<size_t>(sortColumn)].kind == Kind::kNumber) {
        c = x.number < y.number ? -1 : x.number > y.number ? 1 : 0;
    } else {
        c = std::string_view(x.cells)
                .substr(x.sortAt, x.sortLength)
                .compare(std::string_view(y.cells).substr(y.sortAt, y.sortLength));
    }
    // Equal cells keep the order the rows came in, whichever the direction.
    if (c == 0) return a < b;
    return descending ? c > 0 : c < 0;
}

void StatusTableView::SetColumns(std::vector<Column> replacement, std::vector<int> keys,
                                 int bytes) {
    columns = std::move(replacement);
    keyColumns = std::move(keys);
    bytesColumn = bytes;
    lines.clear();
    order.clear();
    sortColumn = -1;
    descending = false;
    anchor.clear();
    cursor = -1;
    rows(0);
    cols(static_cast<int>(columns.size()));
    fitted = false;
    FitColumns();
}

void StatusTableView::Update(size_t front, size_t back, std::vector<Row> incoming) {
    const size_t before = lines.size();
    front = std::min(front, before);
    back = std::min(back, before - front);
    const size_t stayEnd = before - back;  // lines front .. stayEnd - 1 stay

    // The keys of the selected rows and of the cursor's row that leave, for the rows that come
    // in their places.
    std::unordered_set<std::string> selectedKeys;
    std::optional<std::string> cursorKey;
    const auto leaving = [&](size_t i) {
        if (lines[i].selected) selectedKeys.insert(Key(lines[i]));
        if (static_cast<int64_t>(i) == cursor) cursorKey = Key(lines[i]);
    };
    for (size_t i = 0; i < front; i++) leaving(i);
    for (size_t i = stayEnd; i < before; i++) leaving(i);
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(stayEnd), lines.end());
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(front));
    cursor = cursor >= static_cast<int64_t>(front) && cursor < static_cast<int64_t>(stayEnd)
                 ? cursor - static_cast<int>(front)
                 : -1;

    // The rows shown that stay keep their order; the new ones are sorted and merged in.
    std::vector<uint32_t> stay;
    stay.reserve(order.size());
    for (uint32_t i : order)
        if (i >= front && i < stayEnd) stay.push_back(static_cast<uint32_t>(i - front));
    std::vector<uint32_t> added;
    const bool lookUp = !selectedKeys.empty() || cursorKey;
    for (Row& row : incoming) {
        Line line;
        for (size_t c = 0; c < row.cells.size(); c++) {
            if (c) line.cells.push_back('\t');
            line.cells += row.cells[c];
        }
        line.frame = row.frame;
        line.port = static_cast<int16_t>(row.port);
        line.node = static_cast<int16_t>(row.node);
        line.health = row.health;
        line.changed = row.changed;
        SetSortKey(line);
        const auto index = static_cast<uint32_t>(lines.size());
        if (lookUp) {
            const std::string key = Key(line);
            line.selected = selectedKeys.count(key) > 0;
            if (cursorKey && key == *cursorKey) cursor = static_cast<int>(index);
        }
        if (Passes(line)) added.push_back(index);
        lines.push_back(std::move(line));
    }
    const auto precedes = [this](uint32_t a, uint32_t b) { return Before(a, b); };
    std::sort(added.begin(), added.end(), precedes);
    order.resize(stay.size() + added.size());
    std::merge(stay.begin(), stay.end(), added.begin(), added.end(), order.begin(), precedes);

    if (!fitted && !lines.empty()) FitColumns();
    ShowRows();
}

void StatusTableView::ShowRows() {
    // New rows take the height of the last one. Each height set costs time in proportion to the
    // rows, so it is set on one row only, when there is no row (of the right height) to copy.
    const int n = static_cast<int>(order.size());
    if (n > 0 && (rows() == 0 || row_height(rows() - 1) != kRowHeight)) {
        rows(1);
        row_height(0, kRowHeight);
    }
    rows(n);
    redraw();
}

void StatusTableView::Reorder() {
    order.clear();
    for (size_t i = 0; i < lines.size(); i++)
        if (Passes(lines[i])) order.push_back(static_cast<uint32_t>(i));
    std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) { return Before(a, b); });
    ShowRows();
}

void StatusTableView::SetFilter(int port, int node) {
    if (port == portFilter && node == nodeFilter) return;
    portFilter = port;
    nodeFilter = node;
    Reorder();
}

void StatusTableView::SortBy(int column) {
    if (column >= static_cast<int>(columns.size())) return;
    if (column == sortColumn) {
        descending = !descending;
    } else {
        sortColumn = column;
        descending = false;
        for (Line& line : lines) SetSortKey(line);
    }
    Reorder();
}

std::string_view StatusTableView::Cell(int shown, int column) const {
    if (shown < 0 || shown >= static_cast<int>(order.size())) return {};
    return CellOf(lines[order[static_cast<size_t>(shown)]].cells, column);
}

int64_t StatusTableView::Frame(int shown) const {
    if (shown < 0 || shown >= static_cast<int>(order.size())) return -1;
    return lines[order[static_cast<size_t>(shown)]].frame;
}

Health StatusTableView::RowHealth(int shown) const {
    if (shown < 0 || shown >= static_cast<int>(order.size())) return Health::kOk;
    return lines[order[static_cast<size_t>(shown)]].health;
}

bool StatusTableView::Selected(int shown) const {
    return shown >= 0 && shown < static_cast<int>(order.size()) &&
           lines[order[static_cast<size_t>(shown)]].selected;
}

int StatusTableView::ShownOf(const std::string& key) const {
    for (size_t p = 0; p < order.size(); p++)
        if (Key(lines[order[p]]) == key) return static_cast<int>(p);
    return -1;
}

void StatusTableView::SelectOnly(int shown) {
    for (Line& line : lines) line.selected = false;
    if (shown >= 0 && shown < static_cast<int>(order.size())) {
        Line& line = lines[order[static_cast<size_t>(shown)]];
        line.selected = true;
        cursor = static_cast<int>(order[static_cast<size_t>(shown)]);
        anchor = Key(line);
        // Into view: at the top when above it, at the bottom when below.
        const int visible = std::max(1, tih / kRowHeight);
        if (shown < toprow)
            row_position(shown);
        else if (shown >= toprow + visible)
            row_position(shown - visible + 1);
    }
    redraw();
}

void StatusTableView::Click(int row, int state) {
    const uint32_t index = order[static_cast<size_t>(row)];
    const int from = (state & FL_SHIFT) && !anchor.empty() ? ShownOf(anchor) : -1;
    if (from >= 0) {
        for (Line& line : lines) line.selected = false;
        for (int p = std::min(from, row); p <= std::max(from, row); p++)
            lines[order[static_cast<size_t>(p)]].selected = true;
    } else if (state & FL_CTRL) {
        lines[index].selected = !lines[index].selected;
        anchor = Key(lines[index]);
    } else {
        for (Line& line : lines) line.selected = false;
        lines[index].selected = true;
        anchor = Key(lines[index]);
    }
    cursor = static_cast<int>(index);
    Changed(row);
}

void StatusTableView::Changed(int row) {
    redraw();
    do_callback(CONTEXT_CELL, row, 0);
}

std::string StatusTableView::SelectedText() const {
    std::string text;
    for (uint32_t i : order) {
        if (!lines[i].selected) continue;
        text += lines[i].cells;
        text += '\n';
    }
    if (text.empty()) return text;
    std::string header;
    for (const Column& column : columns)
        header += (header.empty() ? "" : "\t") + std::string(column.name);
    return header + "\n" + text;
}

int StatusTableView::handle(int event) {
    switch (event) {
        case FL_PUSH: {
            if (Fl::event_button() != FL_LEFT_MOUSE) break;
            int row, col;
            ResizeFlag resize;
            const TableContext context = cursor2rowcol(row, col, resize);
            if (context == CONTEXT_COL_HEADER && resize == RESIZE_NONE) {
                SortBy(col);
                return 1;
            }
            if (context == CONTEXT_CELL && row < static_cast<int>(order.size())) {
                take_focus();
                Click(row, Fl::event_state());
                dragging = true;
                return 1;
            }
            break;
        }
        case FL_DRAG: {
            if (!dragging) break;
            int row, col;
            ResizeFlag resize;
            if (cursor2rowcol(row, col, resize) == CONTEXT_CELL &&
                row < static_cast<int>(order.size()) &&
                (cursor < 0 || order[static_cast<size_t>(row)] != static_cast<uint32_t>(cursor)))
                Click(row, FL_SHIFT);
            return 1;
        }
        case FL_RELEASE:
            if (!dragging) break;
            dragging = false;
            return 1;
        case FL_KEYBOARD: {
            const int key = Fl::event_key();
            if ((Fl::event_state() & FL_CTRL) && key == 'a') {
                for (uint32_t i : order) lines[i].selected = true;
                redraw();
                return 1;
            }
            const int page = std::max(1, tih / kRowHeight - 1);
            int step;
            switch (key) {
                case FL_Up:
                    step = -1;
                    break;
                case FL_Down:
                    step = 1;
                    break;
                case FL_Page_Up:
                    step = -page;
                    break;
                case FL_Page_Down:
                    step = page;
                    break;
                case FL_Home:
                    step = -rows();
                    break;
                case FL_End:
                    step = rows();
                    break;
                default:
                    return Fl_Table::handle(event);
            }
            if (order.empty()) return 1;
            int from = -1;
            for (size_t p = 0; cursor >= 0 && p < order.size(); p++)
                if (order[p] == static_cast<uint32_t>(cursor)) from = static_cast<int>(p);
            const int to = from < 0 ? 0 : std::min(std::max(from + step, 0), rows() - 1);
            const std::string kept = anchor;
            SelectOnly(to);
            if (Fl::event_state() & FL_SHIFT) {
                anchor = kept;
                Click(to, FL_SHIFT);
            } else {
                Changed(to);
            }
            return 1;
        }
        default:
            break;
    }
    return Fl_Table::handle(event);
}

void StatusTableView::FitColumns() {
    fl_font(kFont, kFontSize);
    for (size_t c = 0; c < columns.size(); c++) {
        int width = static_cast<int>(fl_width(columns[c].name)) + 2 * kPad + kSortMark;
        for (size_t i = 0; i < lines.size() && i < kFitSample; i++) {
            const std::string_view cell = CellOf(lines[i].cells, static_cast<int>(c));
            width = std::max(
                width,
                static_cast<int>(fl_width(cell.data(), static_cast<int>(cell.size()))) + 2 * kPad);
        }
        col_width(static_cast<int>(c), std::min(width, kMaxColumnWidth));
    }
    fitted = !lines.empty();
}

void StatusTableView::DrawBytes(std::string_view cell, uint8_t changed, int x, int baseline,
                                bool selected) {
    // "12 34 ...": byte i at 3 * i.
    for (int i = 0; i < kDataBytes && 3 * static_cast<size_t>(i) + 2 <= cell.size(); i++) {
        const char* text = cell.data() + 3 * i;
        const int at = x + static_cast<int>(fl_width(cell.data(), 3 * i));
        const bool highlit = changed & (1u << i);
        if (highlit) {
            fl_color(ChangedByte());
            fl_rectf(at - 1, baseline - fl_height() + fl_descent(),
                     static_cast<int>(fl_width(text, 2)) + 2, fl_height());
        }
        fl_color(selected && !highlit ? FL_WHITE : FL_BLACK);
        fl_draw(text, 2, at, baseline);
    }
}

void StatusTableView::draw_cell(TableContext context, int row, int col, int x, int y, int w,
                                int h) {
    switch (context) {
        case CONTEXT_STARTPAGE:
            fl_font(kFont, kFontSize);
            return;
        case CONTEXT_COL_HEADER: {
            if (col < 0 || col >= static_cast<int>(columns.size())) return;
            fl_push_clip(x, y, w, h);
            fl_draw_box(FL_THIN_UP_BOX, x, y, w, h, FL_BACKGROUND_COLOR);
            fl_color(FL_BLACK);
            fl_draw(columns[static_cast<size_t>(col)].name, x + kPad, y, w - 2 * kPad, h,
                    FL_ALIGN_LEFT);
            if (col == sortColumn) {
                // A triangle pointing up for ascending, down for descending.
                const int cx = x + w - kSortMark / 2 - kPad, cy = y + h / 2;
                if (descending)
                    fl_polygon(cx - 4, cy - 2, cx + 4, cy - 2, cx, cy + 3);
                else
                    fl_polygon(cx - 4, cy + 2, cx + 4, cy + 2, cx, cy - 3);
            }
            fl_pop_clip();
            return;
        }
        case CONTEXT_CELL: {
            if (row < 0 || row >= static_cast<int>(order.size()) || col < 0 ||
                col >= static_cast<int>(columns.size()))
                return;
            const Line& line = lines[order[static_cast<size_t>(row)]];
            fl_push_clip(x, y, w, h);
            fl_color(line.selected ? FL_SELECTION_COLOR : Background(line.health));
            fl_rectf(x, y, w, h);
            fl_color(Grid());
            fl_xyline(x, y + h - 1, x + w - 1);
            fl_yxline(x + w - 1, y, y + h - 1);
            const std::string_view cell = CellOf(line.cells, col);
            const int baseline = y + (h + fl_height()) / 2 - fl_descent();
            if (col == bytesColumn && line.changed) {
                DrawBytes(cell, line.changed, x + kPad, baseline, line.selected);
            } else {
                const int n = static_cast<int>(cell.size());
                const int tx = columns[static_cast<size_t>(col)].kind == Kind::kNumber
                                   ? x + w - kPad - static_cast<int>(fl_width(cell.data(), n))
                                   : x + kPad;
                fl_color(line.selected ? FL_WHITE : FL_BLACK);
                fl_draw(cell.data(), n, tx, baseline);
            }
            fl_pop_clip();
            return;
        }
        default:
            return;
    }
}
