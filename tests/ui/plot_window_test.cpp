// First: gtest (in it) before FLTK, whose X11 headers define None.
#include "ui/gui_support.h"

#include "ui/plot_window.h"

#include <FL/x.H>

#include <set>
#include <sstream>
#include <string>

#include "plot/trace.h"
#include "store/filt_store.h"
#include "ui/icons.h"

namespace {

std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
}

// The program's window over the demo log decoded as CANopen with the demo's network
// configuration, and a plot window opened from its Tools menu; the mouse and keys reach the
// plot through xdotool.
class PlotWindowTest : public ProgramWindowTest {
  protected:
    void SetUp() override {
        Build(100000, "", EXAMPLES_DIR "/demo.netcfg");
        frame->OpenLogFile(EXAMPLES_DIR "/demo.log");
        ASSERT_TRUE(UntilUi([&] { return frame->Enabled(iconOpen); }));
        Pick("&Tools/&Plot...");
        ASSERT_EQ(frame->plots.size(), 1u);
        plot = frame->plots[0].get();
        plot->window->wait_for_expose();
        id = std::to_string(fl_xid(plot->window.get()));
    }
    // xdotool's commands on the plot window, at points of its plot widget.
    void Xdo(const std::string& commands) {
        EXPECT_EQ(RunProcess({"/bin/sh", "-c", "xdotool " + commands}).exitCode, 0) << commands;
    }
    std::string At(double x, double y) {
        return " mousemove --window " + id + " " + std::to_string(plot->plot->x() + int(x)) + " " +
               std::to_string(plot->plot->y() + int(y)) + " ";
    }
    static constexpr int kLegend = 60;  // pixels at the plot area's top for two legend rows
    PlotArea Area() { return PlotArea::Of(plot->plot->Drawn()); }
    int64_t Span() { return plot->plot->View().to - plot->plot->View().from; }
    // The rows of the plot area below the legend with a pixel of trace i's colour.
    size_t RowsOf(int i) {
        const PlotArea a = Area();
        const PlotColor c = TraceColor(i);
        return RowsWith(*plot->window, plot->plot->x() + int(a.left) + 1,
                        plot->plot->y() + int(a.top) + kLegend, int(a.right - a.left) - 2,
                        int(a.bottom - a.top) - kLegend - 1, fl_rgb_color(c.r, c.g, c.b))
            .size();
    }
    int ChoiceLine(const std::string& def) {
        for (size_t i = 0; i < plot->choices.size(); i++)
            if (plot->choices[i].def.Text() == def) return int(i) + 1;
        return 0;
    }

    PlotWindow* plot = nullptr;
    std::string id;  // the plot window's
};

TEST_F(PlotWindowTest, TracesNavigationAndTheListsSelection) {
    // The chooser names the objects of the frames by node; the drive's position is chosen there,
    // a rate typed in. Each shows the history the store holds.
    const int position = ChoiceLine("5:0x6064:0");
    ASSERT_GT(position, 0);
    EXPECT_EQ(plot->choices[position - 1].text,
              "5:0x6064:0  Axis drive: Position actual value (INTEGER32)");
    EXPECT_GT(ChoiceLine("rate:0x185"), 0);
    EXPECT_GT(ChoiceLine("load:0"), 0);
    plot->choiceList->value(position);
    Labelled(plot->window.get(), "Plot")->do_callback();
    plot->seriesInput->value("rate:0x185");
    Labelled(plot->window.get(), "Add")->do_callback();
    EXPECT_EQ(CaptureAlert([&] { plot->Plot("rate:0x185"); }), "rate:0x185 is plotted already");
    EXPECT_EQ(CaptureAlert([&] { plot->Plot("5:"); }).substr(0, 12), "a series is ");
    ASSERT_EQ(plot->traceList->size(), 2);
    EXPECT_NE(std::string(plot->traceList->text(1)).find("Position actual value"),
              std::string::npos);
    // Both drawn over the whole log (6 s), each on its own scale.
    EXPECT_GT(RowsOf(0), 300u);
    EXPECT_GT(RowsOf(1), 300u);
    const PlotView all = plot->plot->View();
    EXPECT_LT(all.from, 1000000);
    EXPECT_GT(all.to, 5500000);

    // The wheel zooms in around the pointer; a drag pans; Home shows everything again; a
    // right-drag zooms to the times marked.
    Xdo("windowfocus --sync " + id + At((Area().left + Area().right) / 2, 200) + "click 4");
    ASSERT_TRUE(UntilUi([&] { return Span() < all.to - all.from; }));
    EXPECT_EQ(plot->plot->Mode(), PlotWidget::Range::kFixed);
    const PlotView zoomed = plot->plot->View();
    Xdo(At(200, 200) + "mousedown 1" + At(300, 200) + "mouseup 1");
    ASSERT_TRUE(UntilUi([&] { return plot->plot->View().from < zoomed.from; }));
    EXPECT_NEAR(double(Span()), double(zoomed.to - zoomed.from), 2);
    Xdo("key Home");
    ASSERT_TRUE(UntilUi([&] { return plot->plot->View().from == all.from; }));
    EXPECT_EQ(plot->plot->View().to, all.to);
    const PlotView home = plot->plot->Drawn();
    Xdo(At(200, 200) + "mousedown 3" + At(300, 200) + "mouseup 3");
    ASSERT_TRUE(UntilUi([&] { return Span() < all.to - all.from; }));
    EXPECT_EQ(plot->plot->View().from, Area().Time(home, 200));
    EXPECT_EQ(plot->plot->View().to, Area().Time(home, 300));
    Xdo("key Home");
    ASSERT_TRUE(UntilUi([&] { return plot->plot->View().from == all.from; }));
    // A band of some height fixes each trace's scale to the values it marked, until Home. The
    // position's scale is the one drawn: its values at the band's top and bottom rows.
    plot->ChooseTrace(0);
    const double top = Area().top + 50, bottom = Area().bottom - 50;
    plot->autoButton->value(0);  // fixed where drawn: the fields show the scale
    plot->autoButton->do_callback();
    const double lo0 = std::stod(plot->minInput->value()), hi0 = std::stod(plot->maxInput->value());
    plot->autoButton->value(1);
    plot->autoButton->do_callback();
    Xdo(At(200, top) + "mousedown 3" + At(300, bottom) + "mouseup 3");
    ASSERT_TRUE(UntilUi([&] { return !plot->autoButton->value(); }));
    const double height = Area().bottom - Area().top;
    EXPECT_NEAR(std::stod(plot->minInput->value()),
                lo0 + (hi0 - lo0) * (Area().bottom - bottom) / height, 1e-6 * (hi0 - lo0));
    EXPECT_NEAR(std::stod(plot->maxInput->value()),
                lo0 + (hi0 - lo0) * (Area().bottom - top) / height, 1e-6 * (hi0 - lo0));
    Xdo("key Home");
    ASSERT_TRUE(UntilUi([&] { return plot->autoButton->value() != 0; }));

    // A click on the position at 3 s selects the PDO frame that carried the point nearest to it.
    MsgListFLTK& list = List();
    plot->ChooseTrace(0);
    Xdo(At(Area().X(plot->plot->Drawn(), 3000000), 200) + "click 1");
    ASSERT_TRUE(UntilUi([&] { return list.selFrame >= 0; }));
    CANframe picked;
    ASSERT_TRUE(session->store().Get(list.selFrame, picked));
    EXPECT_EQ(picked.id, 0x185u);
    EXPECT_NEAR(double(picked.timestamp), 3000000.0, 30000.0);

    // A row selected in the list puts the cursor on its frame's time, also outside the range.
    Xdo(At(-100, 100));  // off the plot: the cursor follows the list
    const auto pickedTime = static_cast<int64_t>(picked.timestamp);
    ASSERT_TRUE(UntilUi([&] { return plot->plot->Drawn().cursor == pickedTime; }));
    plot->plot->ShowRange(1000000, 2000000);
    CANframe late;
    ASSERT_TRUE(session->store().Get(session->store().GetLast(), late));
    list.Select(session->view().FindNdx(session->store().GetLast()));
    const auto lateTime = static_cast<int64_t>(late.timestamp);
    EXPECT_EQ(plot->plot->Drawn().cursor, lateTime);
    EXPECT_TRUE(plot->plot->View().from <= lateTime && lateTime <= plot->plot->View().to);
    EXPECT_EQ(plot->plot->View().to - plot->plot->View().from, 1000000);
}

TEST_F(PlotWindowTest, ExportsAndAStoreClearedOrOddTimes) {
    ASSERT_TRUE(plot->Plot("5:0x6064"));
    ASSERT_TRUE(plot->Plot("rate:0x185"));
    // The CSV of everything has a row at every point, each of quillon-dump's rows among them.
    EXPECT_EQ(plot->ExportCsv(dir.file("all.csv")), "");
    const std::set<std::string> rows = Lines(ReadFile(dir.file("all.csv")));
    const ProcessResult dump =
        RunProcess({QUILLON_DUMP_BIN, "-n", EXAMPLES_DIR "/demo.netcfg", "-P", "5:0x6064", "-P",
                    "rate:0x185", EXAMPLES_DIR "/demo.log"});
    const std::set<std::string> dumped = Lines(dump.out);
    ASSERT_GT(dumped.size(), 100u);
    for (const std::string& row : dumped) EXPECT_EQ(rows.count(row), 1u) << row;
    EXPECT_GT(rows.size(), dumped.size());
    EXPECT_EQ(plot->SavePng(dir.file("plot.png")), "");
    EXPECT_EQ(ReadFile(dir.file("plot.png")).substr(1, 3), "PNG");
    EXPECT_NE(plot->ExportCsv(dir.path()), "");  // a folder: the system's reason

    // Cleared, the traces start again and so does the view; then frames whose time goes back
    // still draw, each run of the rate on its own.
    frame->Clear();
    ASSERT_TRUE(UntilUi([&] { return plot->plot->View().to == 1000000; }));
    EXPECT_EQ(RowsOf(0) + RowsOf(1), 0u);
    CANframe f;
    f.id = 0x185;
    f.length = 4;
    for (uint32_t t : {2000000u, 2300000u, 2600000u, 1000000u, 1200000u}) {
        f.timestamp = t;
        f.data[0] = static_cast<uint8_t>(t / 100000);
        session->store().Add(f);
    }
    ASSERT_TRUE(UntilUi([&] { return plot->plot->View().from < 2000000; }));
    EXPECT_GT(RowsOf(1), 0u);
}

}  // namespace
