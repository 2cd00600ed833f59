#include "ui/list_detail_tile.h"

#include <algorithm>

void ListDetailTile::resize(int x, int y, int w, int h) {
    if (!list || !detail) {
        Fl_Tile::resize(x, y, w, h);
        return;
    }
    const int detailH = std::max(std::min(detail->h(), h - kMinListHeight), 0);
    Fl_Widget::resize(x, y, w, h);
    list->resize(x, y, w, h - detailH);
    detail->resize(x, y + h - detailH, w, detailH);
    // The divider is dragged from where it is now.
    init_sizes();
    redraw();
}
