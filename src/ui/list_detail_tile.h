#pragma once

#include <FL/Fl_Tile.H>

// The message list over the detail view, their divider dragged by the user. A larger window gives
// its extra height to the list: the detail view keeps its height, and gives up height only when
// the list would otherwise shrink below kMinListHeight. (The views' scrollbars are children of
// the tile too; the views place them as they draw.)
class ListDetailTile : public Fl_Tile {
  public:
    static constexpr int kMinListHeight = 60;

    ListDetailTile(int x, int y, int w, int h) : Fl_Tile(x, y, w, h) {}
    // The two views, children of the tile, the list on top.
    void Panes(Fl_Widget* top, Fl_Widget* bottom) {
        list = top;
        detail = bottom;
    }
    void resize(int x, int y, int w, int h) override;

  private:
    Fl_Widget* list = nullptr;
    Fl_Widget* detail = nullptr;
};
