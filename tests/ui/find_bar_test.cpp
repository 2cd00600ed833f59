// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/find_bar.h"

#include <string>

namespace {

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

}  // namespace
