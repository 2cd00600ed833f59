// The program itself on a virtual X server: started on a log, driven by the mouse and keys
// through xdotool, its window read back, and ended with Ctrl+Q.

// gtest before X11: its headers define None.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace {

std::string Shell(const std::string& command) {
    ProcessResult r = RunProcess({"/bin/sh", "-c", command});
    return r.exitCode == 0 ? r.out : "";
}

void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
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
    std::atomic<bool> ended{false};
    ProcessResult program;
    std::thread runner([&] {
        // Ended after a minute whatever happens: a program that ignores Ctrl+Q fails, not hangs.
        program = RunProcess({"/usr/bin/timeout", "60", QUILLON_BIN, "-f", dir.file("window.log")},
                             {"HOME=" + dir.path()});
        ended = true;
    });

    // The window, once it is mapped.
    std::string id;
    WaitUntil(
        [&] {
            id = Shell("xdotool search --onlyvisible --name '^Quillon$' 2>/dev/null | head -1");
            return !id.empty() || ended;
        },
        Pause);
    while (!id.empty() && id.back() == '\n') id.pop_back();
    Display* display = XOpenDisplay(nullptr);
    if (!id.empty() && display) {
        // Dark (text) and blue (selection) pixels of the list below its header, read back until
        // want holds, for at most kPatience: the replay and the list's timer take their time on
        // a busy machine.
        const Window window = std::stoul(id);
        struct Ink {
            int dark = 0, blue = 0;
        };
        auto inkUntil = [&](auto want) {
            Ink ink;
            auto read = [&] {
                ink = Ink();
                XWindowAttributes a;
                if (!XGetWindowAttributes(display, window, &a)) return false;
                XImage* image =
                    XGetImage(display, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
                for (int y = 100; image && y < 300 && y < a.height; y++)
                    for (int x = 0; x < a.width; x++) {
                        const unsigned long p = XGetPixel(image, x, y);
                        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                        ink.dark += r < 80 && g < 80 && b < 80;
                        ink.blue += b > 150 && r < 80 && g < 80;
                    }
                if (image) XDestroyImage(image);
                return want(ink);
            };
            WaitUntil(read, Pause);
            return ink;
        };
        // Rows were drawn; back to the top, a click on a row, down one row by key: the selected
        // row is blue.
        EXPECT_GT(inkUntil([](const Ink& i) { return i.dark > 500; }).dark, 500);
        Shell("xdotool windowfocus --sync " + id + " key Home mousemove --window " + id +
              " 200 110 click 1 key Down");
        EXPECT_GT(inkUntil([](const Ink& i) { return i.blue > 500; }).blue, 500);
        Shell("xdotool windowfocus --sync " + id + " key ctrl+q");
    }
    if (display) XCloseDisplay(display);
    runner.join();
    EXPECT_FALSE(id.empty()) << "no window";
    EXPECT_EQ(program.exitCode, 0) << program.err;
}

}  // namespace
