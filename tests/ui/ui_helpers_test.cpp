// gtest before FLTK: X11 headers define None.
#include <gtest/gtest.h>

#include "ui/ui_helpers.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <cstring>
#include <memory>
#include <vector>

#include "app/quillon.h"
#include "ui/help_text.h"
#include "app/windows.h"
#include "ui/progress.h"

namespace {

struct PlacedFrame : MainFrame {
    void OpenLogFile(const std::string&) override {}
    void LogReadDone() override {}
    void LogWriteDone() override {}
    void GetXY(int& x, int& y) override {
        x = 200;
        y = 150;
    }
    MsgDetail* GetMsgDetail() override { return nullptr; }
};

TEST(UiHelpersTest, ButtonsFieldsAndColours) {
    fl_open_display();
    Fl_Window window(400, 300);
    int w, h;
    BtnSize("OK", w, h);
    EXPECT_EQ(w, 80);
    EXPECT_EQ(h, 30);
    const char* longLabel = "A rather long button label";
    BtnSize(longLabel, w, h);
    EXPECT_EQ(w, static_cast<int>(fl_width(longLabel) + 2 * fl_width("0")));

    int x = 10, y = 20;
    std::vector<Fl_Button*> row;
    for (const char* label : {"Add", "Edit", "Delete"})
        row.push_back(NewBtn(x, y, 1, label, nullptr, nullptr, nullptr));
    EXPECT_EQ(row[0]->x(), 10);
    EXPECT_EQ(row[1]->x(), 100);
    EXPECT_EQ(row[2]->x(), 190);
    EXPECT_EQ(x, 280);
    EXPECT_EQ(y, 20);
    Fl_Button* below = NewBtn(x, y, 2, "OK", nullptr, nullptr, "Apply and close");
    EXPECT_EQ(below->y(), 20);
    EXPECT_EQ(y, 60);
    EXPECT_STREQ(below->tooltip(), "Apply and close");
    Fl_Input* field = NewInputField(10, 100, 300, "Port: ");
    const int labelWidth = static_cast<int>(fl_width("Port: "));
    EXPECT_EQ(field->x(), 10 + labelWidth);
    EXPECT_EQ(field->w(), 300 - labelWidth);
    EXPECT_EQ(field->h(), 25);
    window.end();

    EXPECT_EQ(GetColors(0)->text, FL_BLACK);
    EXPECT_EQ(GetColors(1)->text, FL_BLUE);
    EXPECT_EQ(GetColors(2)->text, static_cast<Fl_Color>(0xFF801000));
    EXPECT_EQ(GetColors(3)->text, FL_RED);
    EXPECT_EQ(GetColors(7), GetColors(3));
    EXPECT_EQ(GetColors(-1), GetColors(3));
    EXPECT_EQ(GetColors(2)->background, FL_WHITE);

    std::vector<const char*> items(31, "item");
    items[30] = nullptr;
    EXPECT_EQ(PopupMenu(10, 10, items.data(), nullptr), -1);  // 30 labels: not shown
}

TEST(UiHelpersTest, ProgressWindowAndHelpPages) {
    fl_open_display();
    std::unique_ptr<Progress> progress = NewProgress("Updating firmware", 0, 0, 0, 0);
    auto* window = static_cast<MyProg*>(progress.get());
    EXPECT_EQ(window->window->w(), 320);
    EXPECT_EQ(window->window->h(), 45);
    EXPECT_EQ(window->bar->w(), 300);
    EXPECT_EQ(window->bar->h(), 25);
    EXPECT_STREQ(window->window->label(), "Updating firmware");
    EXPECT_TRUE(window->window->shown());
    progress->SetMax(10);
    progress->Update(4, "Block 4 of 10");
    EXPECT_FLOAT_EQ(window->bar->maximum(), 10);
    EXPECT_FLOAT_EQ(window->bar->value(), 4);
    EXPECT_STREQ(window->window->label(), "Block 4 of 10");
    progress.reset();

    PlacedFrame frame;
    App().mainFrame = &frame;
    progress = NewProgress("Placed", 0, 0, 200, 0);
    window = static_cast<MyProg*>(progress.get());
    EXPECT_EQ(window->window->x(), 200);
    EXPECT_EQ(window->window->y(), 150);
    EXPECT_EQ(window->window->w(), 200);
    progress.reset();
    App().mainFrame = nullptr;

    EXPECT_NE(std::strstr(GetHelpText("filter"), "<title>Quillon filtering</title>"), nullptr);
    EXPECT_NE(std::strstr(GetHelpText("filter"), "(A &amp; B) | (C &amp; ~D)"), nullptr);
    EXPECT_NE(std::strstr(GetHelpText("netcfg"), "<h1>Quillon Network Configuration</h1>"),
              nullptr);
    EXPECT_NE(std::strstr(GetHelpText("analyzer"), "<title>CAN bus analyzer</title>"), nullptr);
    EXPECT_STREQ(GetHelpText("Filter"), "Unknown help tag");
    EXPECT_STREQ(GetHelpText(""), "Unknown help tag");
}

}  // namespace
