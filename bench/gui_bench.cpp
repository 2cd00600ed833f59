// The window's costs, measured under a real X server:
//   gui_bench draw FRAMES      median time of one full redraw of the list over a full store
//   gui_bench statusbar FRAMES median time of one update of the status bar (its texts taken
//                              anew, laid out and drawn) over a store of FRAMES frames
//   gui_bench replay LOGFILE   replay time in the window, and the longest gap between two
//                              list ticks during it (the window must stay live)
//   gui_bench apply FRAMES     the filter dialog's Apply of a four-element expression over a
//                              full store: its time, and the longest gap between two list redraws
//   gui_bench status           the network status window over 2,048 identifiers and 127 nodes:
//                              median time of one full redraw, and of one update of its tables
//   gui_bench find FRAMES      the find bar's search over a full store, matching no row (the
//                              whole store looked at): by identifier, by a data pattern, and by
//                              Value text; its time, and the progress messages shown meanwhile
//   gui_bench plot POINTS      median time of one redraw of the plot widget (a plot area 1000
//                              pixels wide) showing a trace of POINTS points (a ramp with noise),
//                              whole and one second of it, until the X server has drawn it

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/x.H>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "decode/canopen_parser.h"
#include "filter/filter_element.h"
#include "hw/cards.h"
#include "plot/trace.h"
#include "session/session.h"
#include "session/settings.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "ui/filt_dialog.h"
#include "ui/find_bar.h"
#include "ui/hardware_dialog.h"
#include "ui/icons.h"
#include "ui/main_frame_fltk.h"
#include "ui/network_status_window.h"
#include "ui/plot_widget.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The program's window over a session of capacity frames decoded as CANopen, with the dialogs it
// opens; frames: PDO frames added before the window is made (FillStore).
struct Program {
    Program(int capacity, int frames, int ports) : session(nullptr, &cards, capacity) {
        session.SetParserMode(PARSE_CANOPEN);
        FillStore(frames, ports);
        frame = std::make_unique<MainFrameFLTK>(session, prefs);
        Dialogs dialogs;
        dialogs.hardware = CreateHardwareDialog(cards, session.ports(), frame.get());
        dialogs.filter = CreateFiltDialog(session, frame.get());
        filter = static_cast<FiltDialogFLTK*>(dialogs.filter.get());
        dialogs.status = CreateNetworkStatusWindow(session, frame.get());
        status = static_cast<NetworkStatusWindowFLTK*>(dialogs.status.get());
        frame->SetDialogs(std::move(dialogs));
    }
    // Adds frames PDO frames to the store: six identifiers in turn, 100 us apart, on ports 0 to
    // ports - 1 in turn.
    void FillStore(int frames, int ports) {
        CANframe f;
        f.length = 8;
        for (int i = 0; i < frames; i++) {
            f.id = 0x181 + i % 6;
            f.port = i % ports;
            f.timestamp = i * 100u;
            session.store().Add(f);
        }
    }
    MsgListFLTK& List() { return *static_cast<MsgListFLTK*>(frame->msgList); }

    QL_Settings prefs;
    Cards cards{nullptr, SocketCanPorts::LeftOut};  // the machine's own, not read
    Session session;
    std::unique_ptr<MainFrameFLTK> frame;
    FiltDialogFLTK* filter = nullptr;  // owned by frame
    NetworkStatusWindowFLTK* status = nullptr;
};

// The list's redraws while the event loop runs: the times at which the list moved to show a
// grown view.
struct RedrawWatch {
    MsgListFLTK* list;
    StoreIndex lastTop;
    Clock::time_point last;
    double longestGap = 0;
    int redraws = 0;
    static void Check(void* data) {
        auto* watch = static_cast<RedrawWatch*>(data);
        if (watch->list->topIndex == watch->lastTop) return;
        watch->Mark();
        watch->lastTop = watch->list->topIndex;
        watch->redraws++;
    }
    void Mark() {
        const auto now = Clock::now();
        longestGap = std::max(longestGap, Ms(now - last));
        last = now;
    }
};

// Median and longest time of 101 runs of work.
template <typename Work>
std::pair<double, double> Measure(Work work) {
    std::vector<double> times;
    for (int i = 0; i < 101; i++) {
        const auto start = Clock::now();
        work();
        times.push_back(Ms(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return std::make_pair(times[times.size() / 2], times.back());
}

// Median and longest time of one full redraw of widget.
std::pair<double, double> MeasureRedraw(Fl_Widget& widget) {
    return Measure([&widget] {
        widget.damage(FL_DAMAGE_ALL);
        Fl::flush();
    });
}

int Draw(int frames) {
    Program program(frames, frames, 1);
    MainFrameFLTK& frame = *program.frame;
    MsgListFLTK* list = &program.List();
    for (int i = 0; i < 20; i++) Fl::wait(0.02);
    list->Tick();  // follows to the newest frames
    const auto listOnly = MeasureRedraw(*list);
    const auto window = MeasureRedraw(*frame.window);
    std::printf(
        "redraw over %d frames (%d rows shown): list median %.3f ms (max %.3f), whole window "
        "median %.3f ms (max %.3f)\n",
        frames, list->Lines(), listOnly.first, listOnly.second, window.first, window.second);
    return 0;
}

int StatusBarUpdate(int frames) {
    Program program(frames + 1000, frames, 4);
    MainFrameFLTK& frame = *program.frame;
    for (int i = 0; i < 20; i++) Fl::wait(0.02);
    // The store grows by a frame before each update, so that each has new counts to lay out.
    CANframe f;
    const auto bar = Measure([&] {
        program.session.store().Add(f);
        frame.statusBar->Refresh();
        Fl::flush();
        XSync(fl_display, False);  // until the X server has drawn it
    });
    std::printf("status bar update over %d frames: median %.3f ms (max %.3f)\n", frames, bar.first,
                bar.second);
    return 0;
}

int Replay(const char* path) {
    Program program(10000000, 0, 1);
    MainFrameFLTK& frame = *program.frame;
    MsgListFLTK* list = &program.List();
    Fl::lock();
    for (int i = 0; i < 20; i++) Fl::wait(0.02);
    // Watches the list's timer through the view it moves.
    RedrawWatch watch{list, list->topIndex, Clock::now()};
    const auto start = Clock::now();
    frame.OpenLogFile(path);
    while (!frame.Enabled(iconOpen)) {
        Fl::wait(0.01);
        RedrawWatch::Check(&watch);
    }
    const double seconds = Ms(Clock::now() - start) / 1000;
    const int total = program.session.store().GetTotal(nullptr, nullptr);
    std::printf(
        "replay in the window: %d frames in %.3f s (%.0f frames/s); the list moved %d times, "
        "longest gap %.1f ms\n",
        total, seconds, total / seconds, watch.redraws, watch.longestGap);
    return 0;
}

int Apply(int frames) {
    Program program(frames, frames, 4);
    FiltDialogFLTK& dialog = *program.filter;
    dialog.Show();
    dialog.AddFE(std::make_unique<FeCanID>(0x181, 0x7ff));
    dialog.AddFE(std::make_unique<FeCanID>(0x182, 0x7ff));
    dialog.AddFE(std::make_unique<FePort>(1));
    dialog.AddFE(std::make_unique<FeObjID>(0x1000, -1, FeObjID::kLess));
    dialog.exprInput->value("(A | B) & !C & D");
    MsgListFLTK* list = &program.List();
    for (int i = 0; i < 20; i++) Fl::wait(0.02);
    RedrawWatch watch{list, list->topIndex, Clock::now()};
    Fl::add_check(RedrawWatch::Check, &watch);
    const auto start = watch.last;
    dialog.Apply();
    Fl::remove_check(RedrawWatch::Check, &watch);
    watch.Mark();  // the window can redraw again
    const double ms = Ms(watch.last - start);
    std::printf(
        "apply of a four-element expression over %d frames: %.1f ms, %d shown; the list redrew "
        "%d times during it, longest gap between redraws %.1f ms\n",
        frames, ms, program.session.view().GetTotal(nullptr, nullptr), watch.redraws,
        watch.longestGap);
    return 0;
}

// The find bar's messages while the event loop runs: the progress shown.
struct ProgressWatch {
    FindBar* bar;
    std::string last;
    int shown = 0;
    static void Check(void* data) {
        auto* watch = static_cast<ProgressWatch*>(data);
        const std::string now = watch->bar->Message();
        if (now == watch->last) return;
        watch->last = now;
        watch->shown += now.compare(0, 12, "Searching...") == 0;
    }
};

int Find(int frames) {
    Program program(frames, frames, 1);
    FindBar& bar = *program.frame->findBar;
    for (int i = 0; i < 20; i++) Fl::wait(0.02);
    const struct {
        FindBar::Mode mode;
        const char* typed;
        int runs;
    } finds[] = {{FindBar::Mode::kId, "7ff", 5},
                 {FindBar::Mode::kData, "* 11 22", 5},
                 {FindBar::Mode::kText, "no such text", 1}};
    for (const auto& find : finds) {
        bar.Open(find.mode);
        bar.field->value(find.typed);
        std::vector<double> times;
        ProgressWatch watch{&bar, "", 0};
        Fl::add_check(ProgressWatch::Check, &watch);
        for (int run = 0; run < find.runs; run++) {
            const auto start = Clock::now();
            bar.FindNext(true);
            times.push_back(Ms(Clock::now() - start));
        }
        Fl::remove_check(ProgressWatch::Check, &watch);
        std::sort(times.begin(), times.end());
        std::printf(
            "find %-4s \"%s\" over %d frames (none matches): median %.1f ms (max %.1f) of %d, "
            "%d progress messages shown; \"%s\"\n",
            find.mode == FindBar::Mode::kId     ? "ID"
            : find.mode == FindBar::Mode::kData ? "Data"
                                                : "Text",
            find.typed, frames, times[times.size() / 2], times.back(), find.runs, watch.shown,
            bar.Message().c_str());
    }
    return 0;
}

int StatusRedraw() {
    constexpr int kNodes = 127, kIds = 2048, kRounds = 10;
    Program program(1000000, 0, 1);
    // Each round: the heartbeats of nodes 1..127 on port 0, then PDO frames on the identifiers
    // 0x180..0x57F of port 0 and of port 1 until there are 2,048 identifiers, 50 us apart, their
    // data changing from round to round.
    CANframe f;
    for (int round = 0; round < kRounds; round++) {
        for (int node = 1; node <= kNodes; node++) {
            f.port = 0;
            f.id = 0x700 + node;
            f.length = 1;
            f.data[0] = 0x05;  // operational
            f.timestamp += 50;
            program.session.store().Add(f);
        }
        for (int i = 0; i < kIds - kNodes; i++) {
            f.port = i < 1024 ? 0 : 1;
            f.id = 0x180 + i % 1024;
            f.length = 8;
            for (int b = 0; b < 8; b++) f.data[b] = static_cast<uint8_t>(round * (b + 1) + i);
            f.timestamp += 50;
            program.session.store().Add(f);
        }
    }
    NetworkStatusWindowFLTK& status = *program.status;
    status.Show();
    status.tabs->value(status.ids);
    for (int i = 0; i < 20; i++) Fl::wait(0.02);
    status.StopUpdates();  // measured one at a time
    const auto update = Measure([&status] { status.Refresh(true); });
    Fl::flush();
    const auto window = MeasureRedraw(*status.window);
    const auto table = MeasureRedraw(*status.ids);
    std::printf(
        "network status window over %zu identifiers and %zu nodes: redraw median %.3f ms (max "
        "%.3f), the Identifiers table alone %.3f ms (max %.3f); update of the tables median "
        "%.3f ms (max %.3f)\n",
        status.ids->Total(), status.nodes->Total(), window.first, window.second, table.first,
        table.second, update.first, update.second);
    return 0;
}

// One trace of a ramp with noise, a point every 100 us.
struct RampSource : PlotWidget::Source {
    explicit RampSource(int points) {
        std::mt19937 random(1);
        std::normal_distribution<double> noise(0, 50);
        for (int i = 0; i < points; i++) trace.Add(int64_t{i} * 100, i * 0.001 + noise(random));
    }
    std::unique_lock<std::mutex> Hold() override { return std::unique_lock<std::mutex>(lock); }
    void Traces(std::vector<PlotTrace>* traces) override {
        PlotTrace t;
        t.trace = &trace;
        t.label = "ramp";
        t.color = TraceColor(0);
        *traces = {t};
    }
    int64_t Newest() override { return -1; }

    std::mutex lock;
    Trace trace;
};

int Plot(int points) {
    RampSource source(points);
    // The widget 1000 pixels wide with the painter's margins.
    const PlotArea margins = PlotArea::Of(PlotView());
    const int width =
        1000 + static_cast<int>(margins.left) + (800 - static_cast<int>(margins.right));
    Fl_Double_Window window(width, 500, "plot");
    auto* plot = new PlotWidget(0, 0, width, 500, source);
    window.end();
    window.show();
    for (int i = 0; i < 20; i++) Fl::wait(0.02);
    plot->ShowAll();
    auto measure = [&] {
        std::vector<double> times;
        for (int i = 0; i < 51; i++) {
            plot->damage(FL_DAMAGE_ALL);
            const auto start = Clock::now();
            Fl::flush();
            XSync(fl_display, False);  // the X server's drawing too
            times.push_back(Ms(Clock::now() - start));
        }
        std::sort(times.begin(), times.end());
        return std::make_pair(times[times.size() / 2], times.back());
    };
    const auto whole = measure();
    plot->ShowRange(int64_t{points} * 50, int64_t{points} * 50 + 1000000);
    const auto zoomed = measure();
    std::printf(
        "plot draw of a %d-point trace, %d pixels wide: whole median %.3f ms (max %.3f), one "
        "second of it median %.3f ms (max %.3f); %.1f MB held\n",
        points, static_cast<int>(PlotArea::Of(plot->Drawn()).right - margins.left), whole.first,
        whole.second, zoomed.first, zoomed.second, source.trace.Memory() / 1e6);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "draw") == 0) return Draw(std::atoi(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "statusbar") == 0)
        return StatusBarUpdate(std::atoi(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "replay") == 0) return Replay(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "apply") == 0) return Apply(std::atoi(argv[2]));
    if (argc == 2 && std::strcmp(argv[1], "status") == 0) return StatusRedraw();
    if (argc == 3 && std::strcmp(argv[1], "find") == 0) return Find(std::atoi(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "plot") == 0) return Plot(std::atoi(argv[2]));
    std::fprintf(stderr,
                 "usage: gui_bench draw FRAMES | gui_bench statusbar FRAMES | gui_bench replay "
                 "LOGFILE | gui_bench apply FRAMES | gui_bench status | gui_bench find FRAMES | "
                 "gui_bench plot POINTS\n");
    return 2;
}
