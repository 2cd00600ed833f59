// The program itself on a virtual X server: started on a log, driven by the mouse and keys
// through xdotool, its window read back, and ended with Ctrl+Q.

// gtest before X11: its headers define None.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include "support/test_support.h"

namespace {

std::string Shell(const std::string& command) {
    ProcessResult r = RunProcess({"/bin/sh", "-c", command});
    return r.exitCode == 0 ? r.out : "";
}

// The dark (text) and blue (selection) pixels of the window's list below its header.
std::pair<int, int> Ink(Display* display, Window window) {
    std::pair<int, int> ink;
    XWindowAttributes a;
    XImage* image = XGetWindowAttributes(display, window, &a)
                        ? XGetImage(display, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap)
                        : nullptr;
    for (int y = 100; image && y < 300 && y < a.height; y++)
        for (int x = 0; x < a.width; x++) {
            const unsigned long p = XGetPixel(image, x, y);
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            ink.first += r < 80 && g < 80 && b < 80;
            ink.second += b > 150 && r < 80 && g < 80;
        }
    if (image) XDestroyImage(image);
    return ink;
}

TEST(QuillonWindowTest, OpensALogAndEndsWithCtrlQ) {
    TempDir dir;
    std::string log;
    for (int i = 0; i < 300; i++)
        log += std::to_string(1000 * i) + " CAN0: 0x00000" + (i % 2 ? "181" : "701") +
               " - 0x05 0x11\n";
    WriteFile(dir.file("window.log"), log);
    // A font FLTK does not have falls back to the default instead of crashing the drawing.
    std::filesystem::create_directory(dir.file(".Quillon"));
    WriteFile(dir.file(".Quillon/prefs.cfg"), "[Quillon]\n   Font:16\n[END]\n");
    ProcessResult program;
    std::thread runner([&] {
        // Ended after a minute whatever happens: a program that ignores Ctrl+Q fails, not hangs.
        program = RunProcess({"/usr/bin/timeout", "60", QUILLON_BIN, "-f", dir.file("window.log")},
                             {"HOME=" + dir.path()});
    });

    // The window, once it is mapped. Its rows are drawn; back to the top, a click on a row, down
    // one row by key: the selected row is blue. Each is waited for, as the replay and the list's
    // timer take their time on a busy machine.
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); };
    const std::string id = Shell(
        "/usr/bin/timeout 60 xdotool search --sync --onlyvisible --name '^Quillon$' 2>/dev/null | "
        "head -1 | tr -d '\\n'");
    Display* display = XOpenDisplay(nullptr);
    if (!id.empty() && display) {
        const Window window = std::stoul(id);
        EXPECT_TRUE(WaitUntil([&] { return Ink(display, window).first > 500; }, pause));
        Shell("xdotool windowfocus --sync " + id + " key Home mousemove --window " + id +
              " 200 110 click 1 key Down");
        EXPECT_TRUE(WaitUntil([&] { return Ink(display, window).second > 500; }, pause));
        Shell("xdotool windowfocus --sync " + id + " key ctrl+q");
    }
    if (display) XCloseDisplay(display);
    runner.join();
    EXPECT_FALSE(id.empty()) << "no window";
    EXPECT_EQ(program.exitCode, 0) << program.err;
}

}  // namespace
