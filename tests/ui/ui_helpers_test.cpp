// gtest before FLTK: X11 headers define None.
#include <gtest/gtest.h>

#include "ui/ui_helpers.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cstring>
#include <memory>
#include <vector>

#include "ui/help_text.h"
#include "ui/progress.h"

namespace {

TEST(UiHelpersTest, ColoursAndMenus) {
    fl_open_display();
    EXPECT_EQ(GetColors(2)->text, static_cast<Fl_Color>(0xFF801000));
    EXPECT_TRUE(GetColors(7) == GetColors(3) && GetColors(-1) == GetColors(3));  // as errors
    std::vector<const char*> items(31, "item");
    items[30] = nullptr;
    EXPECT_EQ(PopupMenu(10, 10, items.data(), nullptr), -1);  // 30 labels: not shown
    // A button is widened for a long label, and the next one placed past it.
    int x = 10, y = 20;
    Fl_Button* wide = NewBtn(x, y, 1, "A rather long button label", nullptr, nullptr, nullptr);
    EXPECT_EQ(x, 20 + wide->w());
    EXPECT_GT(wide->w(), 80);
    delete wide;  // made outside any window
}

TEST(UiHelpersTest, ProgressWindowAndHelpPages) {
    fl_open_display();
    std::unique_ptr<Progress> progress = NewProgress("Updating firmware", 0, 0, 0, 0);
    auto* window = static_cast<MyProg*>(progress.get());
    EXPECT_TRUE(window->window->shown() && window->window->w() == 320);
    progress->SetMax(10);
    progress->Update(4, "Block 4 of 10");
    EXPECT_EQ(std::to_string(window->bar->value()) + window->window->label(),
              "4.000000Block 4 of 10");

    // Placed where asked (the hardware dialog asks for its main window's place).
    progress = NewProgress("Placed", 200, 150, 200, 0);
    window = static_cast<MyProg*>(progress.get());
    EXPECT_EQ(std::vector<int>({window->window->x(), window->window->y(), window->window->w()}),
              std::vector<int>({200, 150, 200}));
    progress.reset();

    for (auto [tag, text] : {std::pair{"filter", "(A &amp; B) | (C &amp; !D)"},
                             {"netcfg", "<h1>Quillon Network Configuration</h1>"},
                             {"analyzer", "<title>CAN bus analyzer</title>"}})
        EXPECT_NE(std::strstr(GetHelpText(tag), text), nullptr) << tag;
    EXPECT_STREQ(GetHelpText("Filter"), "Unknown help tag");
}

}  // namespace
