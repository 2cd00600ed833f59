// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/network_status_window.h"

#include <FL/x.H>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "filter/fe_list.h"
#include "filter/filter_logic.h"
#include "store/filt_store.h"
#include "ui/icons.h"

namespace {

const std::string kLog = TEST_DATA_DIR "/pdo.log";
const std::string kNetCfg = TEST_DATA_DIR "/pdo.netcfg";

// A view's rows as quillon-dump prints its table, under the header line.
std::string Text(StatusTableView& view) {
    std::string text;
    for (int r = -1; r < view.rows(); r++) {
        for (size_t c = 0; c < view.Columns().size(); c++)
            text += (c ? "\t" : "") + (r < 0 ? std::string(view.Columns()[c].name)
                                             : std::string(view.Cell(r, static_cast<int>(c))));
        text += "\n";
    }
    return text;
}

// The window with its network status window, over the network of the log.
class NetworkStatusWindowTest : public ProgramWindowTest {
  protected:
    void Open(int capacity, const std::string& emulation) {
        Build(capacity, emulation, kNetCfg.c_str());
        Dialogs dialogs;
        dialogs.status = CreateNetworkStatusWindow(*session, frame.get());
        status = static_cast<NetworkStatusWindowFLTK*>(dialogs.status.get());
        frame->SetDialogs(std::move(dialogs));
    }
    // The frames counted, as the status line says.
    unsigned long long Counted() { return std::strtoull(status->statusLine->label(), nullptr, 10); }
    int Column(StatusTableView* view, const std::string& name) {
        for (size_t c = 0; c < view->Columns().size(); c++)
            if (name == view->Columns()[c].name) return static_cast<int>(c);
        ADD_FAILURE() << "no column " << name;
        return 0;
    }
    void ClickTab(StatusTableView* view) {
        // The tab is where the tabs name the view as the one under the mouse.
        Fl_Tabs* tabs = status->tabs;
        const int y = tabs->y() + 10;
        int first = -1, last = -1;
        for (int x = tabs->x(); x < tabs->x() + tabs->w(); x++)
            if (tabs->which(x, y) == view) (first < 0 ? first : last) = x;
        ClickAt(status->window.get(), (first + last) / 2, y,
                [&] { return status->tabs->value() == view; });
    }
    void ClickCell(StatusTableView* view, Fl_Table::TableContext context, int row, int col,
                   const std::function<bool()>& done, const std::string& modifier = "") {
        int x, y, w, h;
        ASSERT_EQ(view->find_cell(context, row, col, x, y, w, h), 0);
        ClickAt(status->window.get(), x + w / 2, y + h / 2, done, modifier);
    }

    NetworkStatusWindowFLTK* status = nullptr;
};

// After a replay into a store of 50 frames: the tables are quillon-dump's; headers sort, rows
// are copied, and a transfer's row selects its first frame in the list when the list holds it.
TEST_F(NetworkStatusWindowTest, TablesSortCopyAndLeadToTheList) {
    Open(50, "");
    frame->OpenLogFile(kLog);
    ASSERT_TRUE(UntilUi([&] { return frame->Enabled(iconOpen); }));
    // Opened from the Tools menu by its keys; the View menu raises the same window.
    Keys(frame->window.get(), "key", "alt+t s",
         [&] { return status->window && status->window->shown(); });
    ASSERT_TRUE(status->window);
    Fl_Window* const window = status->window.get();
    Pick("&View/Network &status...");
    EXPECT_EQ(status->window.get(), window);
    EXPECT_EQ(status->tabs->value(), status->nodes);
    const auto dumped = [](const char* table) {
        return RunProcess({QUILLON_DUMP_BIN, "-S", table, "-n", kNetCfg, kLog}).out;
    };
    for (const auto& [view, table] : {std::pair{status->nodes, "nodes"},
                                      {status->ids, "ids"},
                                      {status->transfers, "transfers"}})
        EXPECT_EQ(Text(*view), dumped(table));
    EXPECT_STREQ(status->statusLine->label(),
                 "110 frames counted; 4 of 4 rows shown\nThe store holds the last 50 frames; "
                 "the status covers all 110 frames since the last Clear");

    // A header sorts by its column, a second click in reverse.
    for (const auto& [view, name, numeric] : {std::tuple{status->ids, "frames", true},
                                              {status->ids, "id", false},
                                              {status->transfers, "duration", true}}) {
        ClickTab(view);
        const int col = Column(view, name);
        for (const bool descending : {false, true}) {
            ClickCell(view, Fl_Table::CONTEXT_COL_HEADER, 0, col, [&] {
                return view->SortColumn() == col && view->Descending() == descending;
            });
            std::vector<std::string> cells;
            for (int r = 0; r < view->rows(); r++) cells.emplace_back(view->Cell(r, col));
            if (descending) std::reverse(cells.begin(), cells.end());
            EXPECT_TRUE(std::is_sorted(cells.begin(), cells.end(),
                                       [&](const std::string& a, const std::string& b) {
                                           return numeric
                                                      ? std::atof(a.c_str()) < std::atof(b.c_str())
                                                      : a < b;
                                       }))
                << name;
        }
        view->SortBy(-1);
    }

    // Rows 1 to 3 selected with a click and a Shift-click, copied with Ctrl+C.
    StatusTableView* transfers = status->transfers;
    ClickCell(transfers, Fl_Table::CONTEXT_CELL, 1, 0, [&] { return transfers->Selected(1); });
    ClickCell(
        transfers, Fl_Table::CONTEXT_CELL, 3, 0, [&] { return transfers->Selected(3); }, "shift");
    struct Clipboard : Fl_Widget {
        Clipboard() : Fl_Widget(0, 0, 0, 0) {}
        void draw() override {}
        int handle(int event) override {
            if (event != FL_PASTE) return 0;
            text.assign(Fl::event_text(), static_cast<size_t>(Fl::event_length()));
            return 1;
        }
        std::string text;
    } clipboard;
    std::vector<std::string> lines;
    std::istringstream table(dumped("transfers"));
    for (std::string line; std::getline(table, line);) lines.push_back(line + "\n");
    const std::string copied = lines[0] + lines[2] + lines[3] + lines[4];
    Keys(window, "key", "ctrl+c", [&] {
        Fl::paste(clipboard, 1);
        return clipboard.text == copied;
    });
    EXPECT_EQ(clipboard.text, copied);

    // The list holds frames 70 to 119; the filter passes only those of 0x587. A row whose frame
    // the list does not show leaves the list's selection as it was.
    auto* list = static_cast<MsgListFLTK*>(frame->msgList);
    FeList elements;
    elements.Add(std::make_unique<FeCanID>(0x587, 0x7FF));
    struct Case {
        int row;
        bool filtered;
        int selected;  // -1: unchanged
        const char* message;
    };
    for (const Case& c : {Case{17, false, 87, ""},
                          {0, false, -1, "Frame 21 is no longer in the store"},
                          {15, false, 75, ""},
                          {16, true, -1, "Frame 79 is not in the filtered list"}}) {
        if (c.filtered) session->SetFilter(CreateFilterLogic("A", elements, session.get()));
        const int before = list->selFrame;
        ClickCell(transfers, Fl_Table::CONTEXT_CELL, c.row, 0,
                  [&] { return transfers->Selected(c.row); });
        EXPECT_EQ(list->selFrame, c.selected < 0 ? before : c.selected) << c.row;
        EXPECT_EQ(status->message, c.message);
    }

    // Node 6 typed into the node field: its rows, among them its identifiers: its PDOs by the
    // mapping in force (0x208 too), its SDO channel and its error control.
    Fl_Input* node = status->nodeInput;
    ClickAt(window, node->x() + node->w() / 2, node->y() + node->h() / 2,
            [&] { return Fl::focus() == node; });
    Keys(window, "type", "6", [&] { return status->nodes->rows() == 1; });
    EXPECT_EQ(std::vector<int>({status->ids->rows(), status->transfers->rows()}),
              std::vector<int>({5, 1}));
    EXPECT_EQ(status->nodes->Cell(0, 1), "6");
    node->value("");
    node->do_callback();

    // Only the frames the filter passes: those of 0x587 the store still holds.
    Fl_Check_Button* filtered = status->filteredButton;
    ClickAt(window, filtered->x() + 10, filtered->y() + filtered->h() / 2,
            [&] { return status->ids->rows() == 1; });
    EXPECT_EQ(status->ids->Cell(0, 1), "0x587");
    EXPECT_EQ(Counted(),
              static_cast<unsigned long long>(session->view().GetTotal(nullptr, nullptr)));
    ClickTab(status->ids);
    EXPECT_NE(std::string(status->statusLine->label()).find(" (only filtered frames); 1 of 1 rows"),
              std::string::npos);
}

// While a bus replays the log over and over the window's tables grow; a Clear empties them.
TEST_F(NetworkStatusWindowTest, FollowsALiveCaptureAndStartsAgainAfterAClear) {
    Open(100000,
         Block("Bus", "bitrate:1000000\n" + Block("LogReplay", "file:" + kLog + "\nloop:1\n")) +
             Block("Card", Block("Port", "bus:0\n")));
    Pick("&Tools/Network &status...");
    ASSERT_TRUE(status->window && status->window->shown());
    frame->Play();
    // The counts grow at the window's pace, until two passes of the log are in.
    unsigned long long counted = 0;
    size_t transfers = 0;
    for (int update = 0; update < 3; update++) {
        EXPECT_TRUE(UntilUi([&] {
            return Counted() > counted && status->transfers->Total() > transfers;
        })) << update;
        counted = Counted();
        transfers = status->transfers->Total();
    }
    EXPECT_TRUE(UntilUi([&] { return status->transfers->Total() >= 36; }));
    EXPECT_EQ(status->nodes->Total(), 4u);
    frame->Stop();
    frame->Clear();
    EXPECT_TRUE(UntilUi([&] { return Counted() == 0 && status->transfers->Total() == 0; }));
}

}  // namespace
