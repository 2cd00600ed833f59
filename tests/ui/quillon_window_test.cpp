// The program itself on a virtual X server: started on a log, driven by the mouse and keys
// through xdotool, its window read back, and ended with Ctrl+Q.

// gtest before X11: its headers define None.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace {

std::string Shell(const std::string& command) {
    ProcessResult r = RunProcess({"/bin/sh", "-c", command});
    return r.exitCode == 0 ? r.out : "";
}

TEST(QuillonWindowTest, OpensALogAndEndsWithCtrlQ) {
    TempDir dir;
    std::string log;
    for (int i = 0; i < 300; i++)
        log += std::to_string(1000 * i) + " CAN0: 0x00000" + (i % 2 ? "181" : "701") +
               " - 0x05 0x11\n";
    WriteFile(dir.file("window.log"), log);
    const std::string home = "HOME=" + dir.path();
    const std::string bin = QUILLON_BIN;
    const std::string path = dir.file("window.log");
    char* argv[] = {const_cast<char*>(bin.c_str()), const_cast<char*>("-f"),
                    const_cast<char*>(path.c_str()), nullptr};
    std::vector<char*> env;
    for (char** e = environ; *e; e++)
        if (std::strncmp(*e, "HOME=", 5) != 0) env.push_back(*e);
    env.push_back(const_cast<char*>(home.c_str()));
    env.push_back(nullptr);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, bin.c_str(), nullptr, nullptr, argv, env.data()), 0);

    // The window, once it is mapped.
    std::string id;
    for (int i = 0; i < 100 && id.empty(); i++) {
        id = Shell("xdotool search --onlyvisible --name '^Quillon$' 2>/dev/null | head -1");
        if (id.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(id.empty()) << "no window";
    while (!id.empty() && (id.back() == '\n')) id.pop_back();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the replay and a few ticks
    // Back to the top, a click on a row, then down one row by key.
    Shell("xdotool windowfocus --sync " + id + " key Home mousemove --window " + id +
          " 200 110 click 1 key Down");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));

    // Rows were drawn: dark text in the list below its header.
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window window = std::stoul(id);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    XImage* image =
        XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    int dark = 0, blue = 0;
    for (int y = 100; y < 300 && y < attributes.height; y++)
        for (int x = 0; x < attributes.width; x++) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
            if (r < 80 && g < 80 && b < 80) dark++;
            if (b > 150 && r < 80 && g < 80) blue++;
        }
    XDestroyImage(image);
    XCloseDisplay(display);
    EXPECT_GT(dark, 500);
    EXPECT_GT(blue, 500);  // the selected row

    Shell("xdotool windowfocus --sync " + id + " key ctrl+q");
    int status = -1;
    for (int i = 0; i < 100; i++) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        status = -1;
    }
    if (status == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "Ctrl+Q did not end the program";
    }
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
