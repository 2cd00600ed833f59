// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/find_bar.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "filter/filter_logic.h"
#include "ui/filt_dialog.h"

namespace {

// The eventfds the process holds: a search beside the windows counts one up when it ends.
std::set<int> EventFds() {
    std::set<int> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == "anon_inode:[eventfd]")
            fds.insert(std::stoi(entry.path().filename().string()));
    }
    return fds;
}

// What happens in a search's event loop once the search has ended, before the bar takes its
// result: its end is the eventfd that is not among those held before.
struct AfterSearch {
    std::set<int> before;
    std::function<void()> action;
};

void cb_after_search(void* data) {
    auto* after = static_cast<AfterSearch*>(data);
    for (int fd : EventFds()) {
        pollfd ended{fd, POLLIN, 0};
        if (!after->before.count(fd))
            poll(&ended, 1, static_cast<int>(std::chrono::milliseconds(kPatience).count()));
    }
    after->action();
}

// The program's window over 300 frames, 10 ms apart: heartbeats of node 1 (0x701, 05), then
// PDOs on 0x181 (i, 17), then on 0x281 (40, i), in turn.
class FindBarTest : public ProgramWindowTest {
  protected:
    void SetUp() override {
        Build(1000);
        CANframe f;
        for (int i = 0; i < 300; i++) {
            const uint8_t byte = static_cast<uint8_t>(i);
            const uint8_t bytes[3][2] = {{0x05, 0}, {byte, 0x17}, {0x40, byte}};
            f.id = i % 3 == 0 ? 0x701 : i % 3 == 1 ? 0x181 : 0x281;
            f.length = i % 3 == 0 ? 1 : 2;
            f.data[0] = bytes[i % 3][0];
            f.data[1] = bytes[i % 3][1];
            f.timestamp = i * 10000u;
            Store().Add(f);
        }
        Settle();
    }
    // Keys, then the list's selection once it is sel; nothing after a failure (each would
    // wait for its selection in vain).
    void Press(const std::string& command, const std::string& keys, StoreIndex sel) {
        if (HasFailure()) return;
        Keys(frame->window.get(), command, keys, [&] { return List().selFrame == sel; });
    }
};

TEST_F(FindBarTest, FindsAndGoesToRowsByKeys) {
    FindBar& bar = *frame->findBar;
    Fl_Widget& tile = *frame->msgList->asFlWidget()->parent();
    const int tileHeight = tile.h();
    EXPECT_FALSE(bar.visible());
    // Ctrl+G: the bar under the tile, which gave up its height; a message number.
    Keys(frame->window.get(), "key", "ctrl+g", [&] { return Fl::focus() == bar.field; });
    EXPECT_TRUE(bar.visible() && bar.mode() == FindBar::Mode::kGoTo);
    EXPECT_EQ(tile.h(), tileHeight - bar.h());
    EXPECT_EQ(bar.y(), tile.y() + tile.h());
    Press("type", "#0", -1);
    Press("key", "Return", 0);

    // Ctrl+F: identifiers from the row after the selected one, both ways, and around.
    Keys(frame->window.get(), "key", "ctrl+f", [&] { return bar.mode() == FindBar::Mode::kId; });
    EXPECT_STREQ(bar.field->value(), "");  // the go-to's text kept apart
    Press("type", "701", 0);
    Press("key", "Return", 3);
    Press("key", "F3", 6);
    Press("key", "shift+F3", 3);
    Press("key", "shift+Return", 0);
    Press("key", "shift+F3", 297);
    EXPECT_EQ(bar.Message(), "Past the top: found from the end");
    // Ctrl+F again selects the field's text: what is typed replaces it.
    Press("key", "ctrl+f", 297);
    Press("type", "7o1", 297);
    Press("key", "Return", 297);
    EXPECT_EQ(bar.Message(), "Not an identifier: \"7o1\" (hex: 181, 0x181)");

    // Data bytes with a run (the choice's Data item), then a time and the same pattern again.
    bar.Open(FindBar::Mode::kData);
    Press("type", "* 17", 297);
    Press("key", "Return", 298);
    EXPECT_EQ(bar.Message(), "");
    Press("key", "ctrl+g", 298);
    EXPECT_STREQ(bar.field->value(), "#0");
    Press("type", "0.2s", 298);
    Press("key", "Return", 20);
    Press("key", "ctrl+f", 20);
    EXPECT_EQ(bar.mode(), FindBar::Mode::kData);
    Press("key", "F3", 22);

    // The Value text, upper and lower case alike; then nothing found, the selection kept.
    bar.Open(FindBar::Mode::kText);
    Press("type", "OPERATIONAL", 22);
    Press("key", "Return", 24);
    Press("key", "ctrl+f", 24);
    Press("type", "no such text", 24);
    Press("key", "Return", 24);
    EXPECT_EQ(bar.Message(), "Not found");
    Press("key", "ctrl+f", 24);
    Press("type", "operational", 24);  // kept for F3 below
    Press("key", "ctrl+g", 24);
    Press("type", "#1000", 24);
    Press("key", "Return", 24);
    EXPECT_EQ(bar.Message(), "No row at or after #1000");

    // Escape closes the bar and gives the tile its height back.
    Keys(frame->window.get(), "key", "Escape", [&] { return !bar.visible(); });
    EXPECT_EQ(tile.h(), tileHeight);
    EXPECT_EQ(Fl::focus(), frame->msgList->asFlWidget());
    // F3 with the bar closed finds the last text again, from the list.
    Press("key", "F3", 27);
    EXPECT_TRUE(bar.visible());
}

// A find that Clear or a filter applied stops selects nothing, though its row was found: the
// row counted in the view before.
TEST_F(FindBarTest, AFindStoppedByClearOrAFilterSelectsNothing) {
    FindBar& bar = *frame->findBar;
    FiltDialogFLTK filter(*session, frame.get());
    filter.Show();
    for (bool clear : {false, true}) {
        AfterSearch after{EventFds(), [&] { clear ? frame->Clear() : (void)filter.Apply(); }};
        bar.Open(FindBar::Mode::kId);
        bar.field->value("701");
        Fl::add_timeout(0, cb_after_search, &after);
        bar.FindNext(true);
        EXPECT_EQ(bar.Message(), "Cancelled") << clear;
        EXPECT_TRUE(List().selFrame == -1 && List().autoScroll) << clear;
    }
}

// While a filter rebuilds the list's view, a find or a go-to looks for nothing and says so.
TEST_F(FindBarTest, LooksForNothingWhileTheViewIsRebuilt) {
    FindBar& bar = *frame->findBar;
    std::string said;
    session->SetFilter(std::make_unique<FilterLogic>(), [&] {
        for (auto [mode, typed] :
             {std::pair{FindBar::Mode::kId, "701"}, {FindBar::Mode::kGoTo, "#5"}}) {
            bar.Open(mode);
            bar.field->value(typed);
            mode == FindBar::Mode::kGoTo ? bar.GoTo() : bar.FindNext(true);
            said += bar.Message() + "|";
        }
    });
    EXPECT_EQ(said, "Not now: the list is being rebuilt|Not now: the list is being rebuilt|");
    EXPECT_EQ(List().selFrame, -1);
}

// A search that cannot start (no file descriptor left) says why, and a Clear after it does not
// wait for it.
TEST_F(FindBarTest, ASearchThatCannotStartSaysWhy) {
    FindBar& bar = *frame->findBar;
    bar.Open(FindBar::Mode::kId);
    bar.field->value("701");
    rlimit files, none;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    const int lowest = open("/dev/null", O_RDONLY);  // the next descriptor made
    close(lowest);
    none = files;
    none.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    bar.FindNext(true);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &files), 0);
    ASSERT_EQ(bar.Message(), std::strerror(EMFILE));
    frame->Clear();
    EXPECT_EQ(Total(), 0);
}

}  // namespace
