// The window's costs, measured under a real X server:
//   gui_bench draw FRAMES      median time of one full redraw of the list over a full store
//   gui_bench replay LOGFILE   replay time in the window, and the longest gap between two
//                              list ticks during it (the window must stay live)

#include <FL/Fl.H>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/quillon.h"
#include "decode/canopen_parser.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "ui/config_dialog.h"
#include "ui/icons.h"
#include "ui/main_frame_fltk.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Setup(int capacity) {
    Quillon& app = App();
    app.CreateStores(capacity);
    app.SetParserMode(PARSE_CANOPEN);
    app.cfgDialog = CreateCfgDialog();
}

int Draw(int frames) {
    Setup(frames);
    CANframe f;
    f.length = 8;
    for (int i = 0; i < frames; i++) {
        f.id = 0x181 + i % 6;
        f.timestamp = i * 100u;
        App().msgStore->Add(f);
    }
    MainFrameFLTK frame(App());
    App().mainFrame = &frame;
    auto* list = static_cast<MsgListData*>(frame.msgList);
    for (int i = 0; i < 20; i++) Fl::wait(0.02);
    list->Tick();  // follows to the newest frames
    auto measure = [](Fl_Widget& widget) {
        std::vector<double> times;
        for (int i = 0; i < 101; i++) {
            widget.damage(FL_DAMAGE_ALL);
            const auto start = Clock::now();
            Fl::flush();
            times.push_back(Ms(Clock::now() - start));
        }
        std::sort(times.begin(), times.end());
        return std::make_pair(times[times.size() / 2], times.back());
    };
    const auto listOnly = measure(*list);
    const auto window = measure(*frame.window);
    std::printf(
        "redraw over %d frames (%d rows shown): list median %.3f ms (max %.3f), whole window "
        "median %.3f ms (max %.3f)\n",
        frames, list->Lines(), listOnly.first, listOnly.second, window.first, window.second);
    App().mainFrame = nullptr;
    return 0;
}

int Replay(const char* path) {
    Setup(10000000);
    MainFrameFLTK frame(App());
    App().mainFrame = &frame;
    auto* list = static_cast<MsgListData*>(frame.msgList);
    Fl::lock();
    for (int i = 0; i < 20; i++) Fl::wait(0.02);
    // Watches the list's timer through the view it moves.
    int lastTop = list->topIndex;
    auto lastMove = Clock::now();
    double longestGap = 0;
    int moves = 0;
    const auto start = Clock::now();
    frame.OpenLogFile(path);
    while (!frame.Enabled(iconOpen)) {
        Fl::wait(0.01);
        if (list->topIndex != lastTop) {
            const auto now = Clock::now();
            longestGap = std::max(longestGap, Ms(now - lastMove));
            lastMove = now;
            lastTop = list->topIndex;
            moves++;
        }
    }
    const double seconds = Ms(Clock::now() - start) / 1000;
    const int total = App().msgStore->GetTotal(nullptr, nullptr);
    std::printf(
        "replay in the window: %d frames in %.3f s (%.0f frames/s); the list moved %d times, "
        "longest gap %.1f ms\n",
        total, seconds, total / seconds, moves, longestGap);
    App().mainFrame = nullptr;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "draw") == 0) return Draw(std::atoi(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "replay") == 0) return Replay(argv[2]);
    std::fprintf(stderr, "usage: gui_bench draw FRAMES | gui_bench replay LOGFILE\n");
    return 2;
}
