#include "ui/main_frame_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Tile.H>
#include <FL/Fl_Toggle_Button.H>
#include <FL/fl_ask.H>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/quillon.h"
#include "base/quillon_error.h"
#include "store/msg_store.h"
#include "ui/config_dialog.h"
#include "ui/filt_dialog.h"
#include "ui/icons.h"
#include "ui/net_dialog.h"

namespace {

// Picks up completion notices whose wake-up the full FLTK queue dropped.
constexpr double kNoticePoll = 0.25;

MainFrameFLTK* Self(void* data) {
    return static_cast<MainFrameFLTK*>(data);
}

// Runs a command; an error it raises is shown, never left to end the program.
template <typename Command>
void Guarded(Command command) {
    try {
        command();
    } catch (const QuillonError& e) {
        fl_alert("%s", e.message.c_str());
    }
}

void cb_open(Fl_Widget*, void* data) {
    Guarded([&] { Self(data)->OpenFile(); });
}
void cb_save(Fl_Widget*, void* data) {
    Guarded([&] { Self(data)->SaveFile(); });
}
void cb_play(Fl_Widget*, void* data) {
    Guarded([&] { Self(data)->Play(); });
}
void cb_stop(Fl_Widget*, void* data) {
    Guarded([&] { Self(data)->Stop(); });
}
void cb_clear(Fl_Widget*, void* data) {
    Guarded([&] { Self(data)->Clear(); });
}
void cb_filt(Fl_Widget*, void* data) {
    if (Self(data)->app.filtDialog) Self(data)->app.filtDialog->Show();
}
void cb_delta(Fl_Widget*, void* data) {
    Self(data)->msgList->ToggleDeltaTime();
}
void cb_config(Fl_Widget*, void* data) {
    if (Self(data)->app.cfgDialog) Self(data)->app.cfgDialog->Show();
}
void cb_network(Fl_Widget*, void* data) {
    if (Self(data)->app.netDialog) Self(data)->app.netDialog->Show();
}
void cb_analyzer(Fl_Widget*, void* data) {
    if (Self(data)->app.analyzer) Self(data)->app.analyzer->Show();
}
void cb_about(Fl_Widget*, void* data) {
    Self(data)->About();
}
void cb_exit(Fl_Widget*, void* data) {
    Self(data)->Exit();
}
void cb_null(Fl_Widget*, void*) {
    std::puts("Null callback");
}
void cb_parse(Fl_Widget*, void* data) {
    Guarded([&] {
        const Fl_Menu_Item* canopen = Self(data)->menuBar->find_item("&View/&Decoder/&CANopen");
        Self(data)->app.SetParserMode(canopen && canopen->value() ? PARSE_CANOPEN : PARSE_RAW);
    });
}
void cb_mainframe(Fl_Widget*, void* data) {
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    Self(data)->Exit();
}
void cb_log_read_done(void* data) {
    Self(data)->ReadDoneOnGuiThread();
}
void cb_log_write_done(void* data) {
    Self(data)->WriteDoneOnGuiThread();
}
void cb_notice_poll(void* data) {
    Self(data)->ReadDoneOnGuiThread();
    Self(data)->WriteDoneOnGuiThread();
    Fl::repeat_timeout(kNoticePoll, cb_notice_poll, data);
}

const Fl_Menu_Item kMenu[] = {
    {"&File", 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Open", FL_CTRL + 'o', cb_open, nullptr, 0, 0, 0, 0, 0},
    {"&Save", FL_CTRL + 's', cb_save, nullptr, 0, 0, 0, 0, 0},
    {"E&xit", FL_CTRL + 'q', cb_exit, nullptr, 0, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {"&Tools", 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Hardware config...", 0, cb_config, nullptr, 0, 0, 0, 0, 0},
    {"&Network config...", 0, cb_network, nullptr, 0, 0, 0, 0, 0},
    {"&Analyze CAN bus...", 0, cb_analyzer, nullptr, 0, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {"&View", 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Decoder", 0, cb_null, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Raw", 0, cb_parse, nullptr, FL_MENU_RADIO, 0, 0, 0, 0},
    {"&CANopen", 0, cb_parse, nullptr, FL_MENU_RADIO | FL_MENU_VALUE, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {"&Help", 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&About...", 0, cb_about, nullptr, 0, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
};

struct Tool {
    Fl_Pixmap** icon;
    bool toggle;
    Fl_Callback* callback;
    const char* tooltip;
};

}  // namespace

MainFrameFLTK::MainFrameFLTK(Quillon& app)
    : app(app), fileChooser(std::make_unique<Fl_Native_File_Chooser>(0)) {
    LoadIcons();
    int x, y, W, H;
    Geometry(Fl::w(), Fl::h(), x, y, W, H);
    window = std::make_unique<Fl_Double_Window>(x, y, W, H, "Quillon");
    window->box(FL_NO_BOX);

    menuBar = new Fl_Menu_Bar(0, 0, W, 30);
    menuBar->copy(kMenu, this);

    toolbar = new Fl_Window(0, 30, W, 30);
    const Tool tools[] = {
        {&iconOpen, false, cb_open, "Open a log file"},
        {&iconSave, false, cb_save, "Save CAN messages to a log file"},
        {&iconPlay, true, cb_play, "Read messages from CAN card"},
        {&iconStop, false, cb_stop, "Stop reading CAN messages"},
        {&iconClose, false, cb_clear, "Clear all messages from display"},
        {&iconFilter, false, cb_filt, "Define a CAN message filter"},
        {&iconDelta, true, cb_delta, "Toggle between absolute and delta time"},
    };
    int toolX = 0;
    for (const Tool& tool : tools) {
        Fl_Button* button =
            tool.toggle ? new Fl_Toggle_Button(toolX, 0, 30, 30) : new Fl_Button(toolX, 0, 30, 30);
        button->box(FL_NO_BOX);
        button->down_box(FL_DOWN_BOX);
        button->image(*tool.icon);
        button->tooltip(tool.tooltip);
        button->callback(tool.callback, this);
        toolX += 30;
    }
    toolbar->end();

    auto* tile = new Fl_Tile(0, 60, W, H - 60);
    const int listHeight = 3 * (H - 60) / 4;
    msgList = CreateMsgList(0, 60, W, listHeight, app);
    msgDetail = CreateMsgDetail(0, 60 + listHeight, W, (H - 60) - listHeight, app);
    tile->end();
    window->resizable(tile);

    SetToolState(0);
    window->end();
    window->show();
    window->callback(cb_mainframe, this);
    Fl::focus(msgList->asFlWidget());
    Fl::add_timeout(kNoticePoll, cb_notice_poll, this);
}

MainFrameFLTK::~MainFrameFLTK() {
    Fl::remove_timeout(cb_notice_poll, this);
    if (app.mainFrame == this) app.mainFrame = nullptr;
}

void MainFrameFLTK::Geometry(int screenW, int screenH, int& x, int& y, int& w, int& h) {
    x = static_cast<int>(0.1 * screenW);
    y = static_cast<int>(0.1 * screenH);
    w = std::min(static_cast<int>(0.9 * screenW), 800);
    h = std::min(static_cast<int>(0.9 * screenH), 600);
}

std::unique_ptr<MainFrame> CreateMainFrame(Quillon& app) {
    return std::make_unique<MainFrameFLTK>(app);
}

void MainFrameFLTK::GetXY(int& x, int& y) {
    x = window->x();
    y = window->y();
}

void MainFrameFLTK::LogReadDone() {
    readDone = true;
    Fl::awake(cb_log_read_done, this);
}

void MainFrameFLTK::LogWriteDone() {
    writeDone = true;
    Fl::awake(cb_log_write_done, this);
}

void MainFrameFLTK::ReadDoneOnGuiThread() {
    if (readDone.exchange(false)) SetToolState(0);
}

void MainFrameFLTK::WriteDoneOnGuiThread() {
    if (!writeDone.exchange(false)) return;
    EnableTool(iconSave, true, -1);
    EnableMenu("&File/&Save", true);
    const std::string error = logWriter ? logWriter->WriteError() : "";
    if (!error.empty()) fl_alert("Error writing log file: %s", error.c_str());
}

void MainFrameFLTK::EnableMenu(const char* path, bool enable) {
    const int index = menuBar->find_index(path);
    if (index < 0) return;
    if (enable)
        menuBar->mode(index, menuBar->mode(index) & ~FL_MENU_INACTIVE);
    else
        menuBar->mode(index, menuBar->mode(index) | FL_MENU_INACTIVE);
}

void MainFrameFLTK::EnableTool(Fl_Image* icon, bool enable, int value) {
    for (int i = 0; i < toolbar->children(); i++) {
        auto* button = static_cast<Fl_Button*>(toolbar->child(i));
        if (button->image() != icon) continue;
        if (enable)
            button->activate();
        else
            button->deactivate();
        if (value >= 0) button->value(value);
    }
}

bool MainFrameFLTK::Enabled(Fl_Image* icon) {
    for (int i = 0; i < toolbar->children(); i++)
        if (toolbar->child(i)->image() == icon) return toolbar->child(i)->active();
    return false;
}

void MainFrameFLTK::SetToolState(int state) {
    switch (state) {
        case 0:
            EnableTool(iconPlay, true, 0);
            EnableTool(iconOpen, true, -1);
            EnableTool(iconStop, false, -1);
            EnableTool(iconSave, true, -1);
            EnableMenu("&File/&Open", true);
            EnableMenu("&View/&Decoder", true);
            EnableMenu("&File/&Save", true);
            break;
        case 1:
        case 2:
            EnableTool(iconPlay, false, state == 1 ? 1 : 0);
            EnableTool(iconOpen, false, -1);
            EnableTool(iconStop, true, -1);
            EnableMenu("&File/&Open", false);
            EnableMenu("&View/&Decoder", false);
            break;
        case 3:
            EnableTool(iconSave, true, -1);
            EnableMenu("&File/&Save", true);
            break;
        default:
            break;
    }
}

void MainFrameFLTK::OpenFile() {
    fileChooser->title("Select log file");
    // candump logs end in .log too; every format is recognised from the file's content.
    fileChooser->filter(
        "Log files\t*.log\nVector ASC logs\t*.asc\nPEAK TRC logs\t*.trc\nAll "
        "logs\t*.{log,asc,trc}");
    fileChooser->filter_value(3);  // all logs, so that ASC and TRC files show at first
    fileChooser->options(0);
    if (const char* previous = fileChooser->filename(); previous && *previous) {
        std::string folder(previous, strnlen(previous, 2047));
        const size_t slash = folder.rfind('/');
        if (slash != std::string::npos) {
            folder.resize(slash);
            fileChooser->directory(folder.c_str());
        }
    }
    fileChooser->type(Fl_Native_File_Chooser::BROWSE_FILE);
    if (fileChooser->show() == 0) OpenLogFile(fileChooser->filename());
}

void MainFrameFLTK::OpenLogFile(const std::string& path) {
    SetToolState(2);
    app.msgStore->Clear();
    try {
        app.readMgr.ReadLogFile(path, false);
    } catch (const QuillonError& e) {
        fl_alert("Error opening log file: %s", e.message.c_str());
        SetToolState(0);
    }
}

void MainFrameFLTK::SaveFile() {
    const bool playIdle = Enabled(iconPlay);
    if (playIdle && app.msgStore->GetTotal(nullptr, nullptr) == 0) {
        fl_alert(
            "There are currently no CAN messages to save.\n\nIf you want to record new data as "
            "it's received, first press the 'play' button \nto start receiving CAN messages, then "
            "press 'save' to select a file.");
        return;
    }
    fileChooser->title("Select log file");
    // The file's extension chooses the format (LogFormatByExtension); a filter, where the
    // chooser can, puts its extension on the name.
    fileChooser->filter(
        "Log files\t*.log\ncandump logs\t*.{candump,txt}\nVector ASC logs\t*.asc\nPEAK TRC "
        "logs\t*.trc");
    fileChooser->filter_value(0);
    fileChooser->options(Fl_Native_File_Chooser::SAVEAS_CONFIRM |
                         Fl_Native_File_Chooser::NEW_FOLDER |
                         Fl_Native_File_Chooser::USE_FILTER_EXT);
    fileChooser->type(Fl_Native_File_Chooser::BROWSE_SAVE_FILE);
    if (fileChooser->show() != 0) return;
    // Asked again: a replay may have ended while the chooser was open. A file that cannot be
    // created raises its message here; the tools stay as they were.
    const std::string path = fileChooser->filename();
    logWriter = std::make_unique<LogWriter>(path, !Enabled(iconPlay), *app.msgStore, &app,
                                            LogFormatByExtension(path));
    EnableTool(iconSave, false, -1);
    EnableMenu("&File/&Save", false);
}

void MainFrameFLTK::Play() {
    std::vector<int> ports(64, -1);
    const int found = app.cfgDialog ? app.cfgDialog->GetPortList(ports.data(), 64) : 0;
    if (found == 0) {
        fl_alert(
            "No CAN cards found in system.\nPlease confirm that the hardware and drivers are "
            "installed properly and try again.");
        EnableTool(iconPlay, true, 0);
        return;
    }
    if (std::all_of(ports.begin(), ports.begin() + found, [](int code) { return code < 0; })) {
        fl_alert(
            "Please select at least one port to monitor.\nSelect ports from the Tools->CAN "
            "Hardware dialog box.");
        EnableTool(iconPlay, true, 0);
        return;
    }
    SetToolState(1);
    app.msgStore->Clear();
    app.readMgr.SetStartTime();
    for (int i = 0; i < found; i++) {
        if (ports[i] < 0) continue;
        try {
            app.readMgr.ReadCanIntf(i, ports[i]);
        } catch (const QuillonError& e) {
            // The ports opened before keep running until Stop.
            fl_alert("Error opening CAN port: %s", e.message.c_str());
            return;
        }
    }
}

void MainFrameFLTK::Stop() {
    SetToolState(0);
    app.readMgr.StopAll();
    if (logWriter) logWriter->CloseLog();
}

void MainFrameFLTK::Clear() {
    app.msgStore->Clear();
}

void MainFrameFLTK::About() {
    fl_message("Quillon \n\nVersion %s", Quillon::getVersion());
}

void MainFrameFLTK::Exit() {
    app.readMgr.StopAll();
    if (logWriter) {
        logWriter->CloseLog();
        logWriter->WaitDone();
    }
    std::exit(0);
}
