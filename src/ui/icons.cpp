#include "ui/icons.h"

namespace {

// 16 by 16 pictures for the toolbar.
const char* const stock_open_xpm[] = {
    "16 16 4 1",        "# c #303030",      ". c None",         "o c #E8C060",
    "y c #F8E090",      "................", "................", ".####...........",
    "#oooo#..........", "#oooooo#####....", "#ooooooooooo#...", "#o##########o#..",
    "#o#yyyyyyyyyy#..", "#o#yyyyyyyyyyy#.", "#o#yyyyyyyyyyy#.", "#o#yyyyyyyyyy#..",
    "#o#yyyyyyyyyy#..", "#o#yyyyyyyyyy#..", "#############...", "................",
    "................",
};

const char* const stock_save_xpm[] = {
    "16 16 5 1",        "# c #303030",      ". c None",         "b c #4070C0",
    "o c #E8C060",      "w c #F0F0F0",      "................", ".##############.",
    ".#bwwwwwwwwwwb#.", ".#bwwwwwwwwwwb#.", ".#bwwwwwwwwwwb#.", ".#bwwwwwwwwwwb#.",
    ".#bbbbbbbbbbbb#.", ".#bbbbbbbbbbbb#.", ".#bbboooooobbb#.", ".#bbboo#oooobb#.",
    ".#bbboo#oooobb#.", ".#bbboooooobbb#.", ".#bbbbbbbbbbbb#.", ".##############.",
    "................", "................",
};

const char* const stock_media_play_xpm[] = {
    "16 16 3 1",        "# c #303030",      ". c None",         "g c #30A040",
    "................", "...##...........", "...#g##.........", "...#ggg##.......",
    "...#ggggg##.....", "...#ggggggg##...", "...#ggggggggg##.", "...#gggggggggg#.",
    "...#gggggggggg#.", "...#ggggggggg##.", "...#ggggggg##...", "...#ggggg##.....",
    "...#ggg##.......", "...#g##.........", "...##...........", "................",
};

const char* const stock_media_stop_xpm[] = {
    "16 16 3 1",        "# c #303030",      ". c None",         "r c #D03020",
    "................", "................", "..############..", "..#rrrrrrrrrr#..",
    "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..",
    "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..",
    "..#rrrrrrrrrr#..", "..############..", "................", "................",
};

const char* const stock_close_xpm[] = {
    "16 16 2 1",        "# c #303030",      ". c None",         "................",
    "................", "..##........##..", "..###......###..", "...###....###...",
    "....###..###....", ".....######.....", "......####......", "......####......",
    ".....######.....", "....###..###....", "...###....###...", "..###......###..",
    "..##........##..", "................", "................",
};

const char* const stock_standard_filter_xpm[] = {
    "16 16 3 1",        "# c #303030",      ". c None",         "b c #4070C0",
    "................", "################", "#bbbbbbbbbbbbbb#", ".#bbbbbbbbbbbb#.",
    "..#bbbbbbbbbb#..", "...#bbbbbbbb#...", "....#bbbbbb#....", ".....#bbbb#.....",
    "......#bb#......", "......#bb#......", "......#bb#......", "......#bb#......",
    "......#bb#......", "......#bb#......", "......####......", "................",
};

const char* const delta_time_xpm[] = {
    "16 16 2 1",        "# c #303030",      ". c None",         "................",
    ".......##.......", ".......##.......", "......#..#......", "......#..#......",
    ".....#....#.....", ".....#....#.....", "....#......#....", "....#......#....",
    "...#........#...", "...#........#...", "..#..........#..", "..#..........#..",
    ".##############.", ".##############.", "................",
};

const char* const stock_media_rec_xpm[] = {
    "16 16 3 1",        "# c #303030",      ". c None",         "r c #D03020",
    "................", "................", ".....######.....", "....#rrrrrr#....",
    "...#rrrrrrrr#...", "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..",
    "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..", "..#rrrrrrrrrr#..", "...#rrrrrrrr#...",
    "....#rrrrrr#....", ".....######.....", "................", "................",
};

const char* const stock_media_pause_xpm[] = {
    "16 16 3 1",        "# c #303030",      ". c None",         "b c #4070C0",
    "................", "................", "...####..####...", "...#bb#..#bb#...",
    "...#bb#..#bb#...", "...#bb#..#bb#...", "...#bb#..#bb#...", "...#bb#..#bb#...",
    "...#bb#..#bb#...", "...#bb#..#bb#...", "...#bb#..#bb#...", "...#bb#..#bb#...",
    "...#bb#..#bb#...", "...####..####...", "................", "................",
};

}  // namespace

Fl_Pixmap* iconOpen = nullptr;
Fl_Pixmap* iconSave = nullptr;
Fl_Pixmap* iconPlay = nullptr;
Fl_Pixmap* iconStop = nullptr;
Fl_Pixmap* iconClose = nullptr;
Fl_Pixmap* iconFilter = nullptr;
Fl_Pixmap* iconDelta = nullptr;
Fl_Pixmap* iconRecord = nullptr;
Fl_Pixmap* iconPause = nullptr;

void LoadIcons() {
    if (iconOpen) return;
    iconOpen = new Fl_Pixmap(stock_open_xpm);
    iconSave = new Fl_Pixmap(stock_save_xpm);
    iconPlay = new Fl_Pixmap(stock_media_play_xpm);
    iconStop = new Fl_Pixmap(stock_media_stop_xpm);
    iconClose = new Fl_Pixmap(stock_close_xpm);
    iconFilter = new Fl_Pixmap(stock_standard_filter_xpm);
    iconDelta = new Fl_Pixmap(delta_time_xpm);
    iconRecord = new Fl_Pixmap(stock_media_rec_xpm);
    iconPause = new Fl_Pixmap(stock_media_pause_xpm);
}
