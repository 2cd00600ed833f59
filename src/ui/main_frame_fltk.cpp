#include "ui/main_frame_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Toggle_Button.H>
#include <FL/fl_ask.H>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "io/log_format.h"
#include "session/cmd_line.h"
#include "session/session.h"
#include "session/settings.h"
#include "store/msg_store.h"
#include "ui/background_work.h"
#include "ui/find_bar.h"
#include "ui/help_text.h"
#include "ui/icons.h"
#include "ui/list_detail_tile.h"
#include "ui/ui_helpers.h"

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
    if (Self(data)->dialogs.filter) Self(data)->dialogs.filter->Show();
}
void cb_delta(Fl_Widget*, void* data) {
    Self(data)->msgList->ToggleDeltaTime();
}
void cb_config(Fl_Widget*, void* data) {
    if (Self(data)->dialogs.hardware) Self(data)->dialogs.hardware->Show();
}
void cb_network(Fl_Widget*, void* data) {
    if (Self(data)->dialogs.network) Self(data)->dialogs.network->Show();
}
void cb_analyzer(Fl_Widget*, void* data) {
    if (Self(data)->dialogs.analyzer) Self(data)->dialogs.analyzer->Show();
}
void cb_status(Fl_Widget*, void* data) {
    if (Self(data)->dialogs.status) Self(data)->dialogs.status->Show();
}
void cb_plot(Fl_Widget*, void* data) {
    Self(data)->OpenPlot();
}
void cb_reap_plots(void* data) {
    Self(data)->ReapPlots();
}
void cb_raw_data(Fl_Widget* w, void* data) {
    const Fl_Menu_Item* item = static_cast<Fl_Menu_*>(w)->mvalue();
    Self(data)->msgList->ShowRawData(item && item->value());
}
void cb_keys_help(Fl_Widget*, void* data) {
    ShowHelpPage(Self(data)->keysHelp, "keys");
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
void cb_find(Fl_Widget*, void* data) {
    Self(data)->findBar->OpenFind();
}
void cb_find_next(Fl_Widget*, void* data) {
    Self(data)->findBar->FindNext(true);
}
void cb_find_previous(Fl_Widget*, void* data) {
    Self(data)->findBar->FindNext(false);
}
void cb_go_to(Fl_Widget*, void* data) {
    Self(data)->findBar->Open(FindBar::Mode::kGoTo);
}
void cb_parse(Fl_Widget*, void* data) {
    Guarded([&] { Self(data)->ChooseDecoder(); });
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
void cb_read_fault(void* data) {
    Self(data)->FaultsOnGuiThread();
}
void cb_notice_poll(void* data) {
    Self(data)->ReadDoneOnGuiThread();
    Self(data)->WriteDoneOnGuiThread();
    Self(data)->FaultsOnGuiThread();
    Fl::repeat_timeout(kNoticePoll, cb_notice_poll, data);
}

const Fl_Menu_Item kMenu[] = {
    {"&File", 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Open", FL_CTRL + 'o', cb_open, nullptr, 0, 0, 0, 0, 0},
    {"&Save", FL_CTRL + 's', cb_save, nullptr, 0, 0, 0, 0, 0},
    {"E&xit", FL_CTRL + 'q', cb_exit, nullptr, 0, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {"&Edit", 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Find...", FL_CTRL + 'f', cb_find, nullptr, 0, 0, 0, 0, 0},
    {"Find &next", FL_F + 3, cb_find_next, nullptr, 0, 0, 0, 0, 0},
    {"Find &previous", FL_SHIFT + FL_F + 3, cb_find_previous, nullptr, 0, 0, 0, 0, 0},
    {"&Go to...", FL_CTRL + 'g', cb_go_to, nullptr, 0, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {"&Tools", 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Hardware config...", 0, cb_config, nullptr, 0, 0, 0, 0, 0},
    {"&Network config...", 0, cb_network, nullptr, 0, 0, 0, 0, 0},
    {"&Analyze CAN bus...", 0, cb_analyzer, nullptr, 0, 0, 0, 0, 0},
    {"Network &status...", 0, cb_status, nullptr, 0, 0, 0, 0, 0},
    {"&Plot...", 0, cb_plot, nullptr, 0, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {"&View", 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Decoder", 0, cb_null, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Raw", 0, cb_parse, nullptr, FL_MENU_RADIO, 0, 0, 0, 0},
    {"&CANopen", 0, cb_parse, nullptr, FL_MENU_RADIO | FL_MENU_VALUE, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {"&Raw data bytes", 0, cb_raw_data, nullptr, FL_MENU_TOGGLE, 0, 0, 0, 0},
    {"Network &status...", 0, cb_status, nullptr, 0, 0, 0, 0, 0},
    {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
    {"&Help", 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0},
    {"&Keys and mouse...", 0, cb_keys_help, nullptr, 0, 0, 0, 0, 0},
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

MainFrameFLTK::MainFrameFLTK(Session& session, QL_Settings& prefs)
    : session(session), fileChooser(std::make_unique<Fl_Native_File_Chooser>(0)), prefs(prefs) {
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

    const int tileHeight = H - 60 - StatusBar::kHeight;
    auto* tile = new ListDetailTile(0, 60, W, tileHeight);
    const int listHeight = 3 * tileHeight / 4;
    msgList = CreateMsgList(0, 60, W, listHeight, session, prefs, this);
    msgDetail = CreateMsgDetail(0, 60 + listHeight, W, tileHeight - listHeight, session, prefs);
    tile->Panes(msgList->asFlWidget(), msgDetail->asFlWidget());
    tile->end();
    window->resizable(tile);
    // Hidden until Ctrl+F or Ctrl+G; it then takes its height from the tile's bottom.
    findBar = new FindBar(0, 60 + tile->h() - 30, W, 30, session,
                          *static_cast<MsgListFLTK*>(msgList), *tile);
    statusBar = new StatusBar(0, H - StatusBar::kHeight, W, session, *msgList);

    SetToolState(ToolState::Idle);
    window->end();
    window->show();
    window->callback(cb_mainframe, this);
    Fl::focus(msgList->asFlWidget());
    Fl::add_timeout(kNoticePoll, cb_notice_poll, this);
    session.SetNotices(this);
}

MainFrameFLTK::~MainFrameFLTK() {
    session.SetNotices(nullptr);
    Fl::remove_timeout(cb_notice_poll, this);
    Fl::remove_timeout(cb_reap_plots, this);
    plots.clear();
    // The dialogs' windows before the main window they were placed by.
    dialogs = Dialogs();
}

void MainFrameFLTK::Geometry(int screenW, int screenH, int& x, int& y, int& w, int& h) {
    x = static_cast<int>(0.1 * screenW);
    y = static_cast<int>(0.1 * screenH);
    w = std::min(static_cast<int>(0.9 * screenW), 800);
    h = std::min(static_cast<int>(0.9 * screenH), 600);
}

std::unique_ptr<MainFrame> CreateMainFrame(Session& session, QL_Settings& prefs) {
    return std::make_unique<MainFrameFLTK>(session, prefs);
}

void MainFrameFLTK::SetDialogs(Dialogs made) {
    dialogs = std::move(made);
}

FrameSelection MainFrameFLTK::SelectFrame(StoreIndex index) {
    return msgList->SelectFrame(index);
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

void MainFrameFLTK::ReadFault(const std::string& message) {
    {
        std::lock_guard<std::mutex> hold(faultLock);
        faults.push_back(message);
    }
    Fl::awake(cb_read_fault, this);
}

void MainFrameFLTK::LogWriteFault(const std::string& message) {
    ReadFault("Error writing log file: " + message);
}

void MainFrameFLTK::FaultsOnGuiThread() {
    std::vector<std::string> told;
    {
        std::lock_guard<std::mutex> hold(faultLock);
        told.swap(faults);
    }
    if (told.empty()) return;
    std::string text;
    for (const std::string& line : told) text += (text.empty() ? "" : "\n") + line;
    fl_alert("%s", text.c_str());
}

void MainFrameFLTK::ReadDoneOnGuiThread() {
    if (!readDone.exchange(false)) return;
    SetToolState(ToolState::Idle);
    // The replay has stored its last frame: a save begun during it has every one, and must not
    // go on with the next capture.
    session.StopWriting(false);
}

void MainFrameFLTK::WriteDoneOnGuiThread() {
    if (!writeDone.exchange(false)) return;
    statusBar->SetSaving(false);
    EnableTool(iconSave, true, -1);
    EnableMenu("&File/&Save", true);
    const std::string error = session.WriteError();
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

void MainFrameFLTK::SetToolState(ToolState state) {
    statusBar->SetCapture(state == ToolState::Receiving   ? CaptureState::kReceiving
                          : state == ToolState::Replaying ? CaptureState::kReplaying
                                                          : CaptureState::kIdle);
    if (state == ToolState::Idle) {
        EnableTool(iconPlay, true, 0);
        EnableTool(iconOpen, true, -1);
        EnableTool(iconStop, false, -1);
        EnableTool(iconSave, true, -1);
        EnableMenu("&File/&Open", true);
        EnableMenu("&View/&Decoder", true);
        EnableMenu("&File/&Save", true);
        return;
    }
    EnableTool(iconPlay, false, state == ToolState::Receiving ? 1 : 0);
    EnableTool(iconOpen, false, -1);
    EnableTool(iconStop, true, -1);
    EnableMenu("&File/&Open", false);
    EnableMenu("&View/&Decoder", false);
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
    if (fileChooser->show() == 0 && ConfirmDiscard()) OpenLogFile(fileChooser->filename());
}

void MainFrameFLTK::OpenLogFile(const std::string& path) {
    SetToolState(ToolState::Replaying);
    findBar->Stop();  // clearing the store flushes the decoder a text search uses
    FinishSave(true);
    session.RefillStore(StoreOrigin::kFile);
    try {
        session.readers().ReadLogFile(path, false);
    } catch (const QuillonError& e) {
        fl_alert("Error opening log file: %s", e.message.c_str());
        SetToolState(ToolState::Idle);
    }
}

void MainFrameFLTK::SaveFile() {
    const bool playIdle = Enabled(iconPlay);
    if (playIdle && session.store().GetTotal(nullptr, nullptr) == 0) {
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
    // Ports cannot wait for a slow disk: what the writer cannot keep up with is counted.
    session.StartWriting(path, !Enabled(iconPlay), LogFormatByExtension(path),
                         session.readers().PortClock() >= 0 ? WriterPace::Drop : WriterPace::Hold);
    statusBar->SetSaving(true);
    EnableTool(iconSave, false, -1);
    EnableMenu("&File/&Save", false);
}

void MainFrameFLTK::Play() {
    std::vector<int> ports(64, -1);
    const int found = session.ports().GetPortList(ports.data(), 64);
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
    if (!ConfirmDiscard()) {
        EnableTool(iconPlay, true, 0);
        return;
    }
    SetToolState(ToolState::Receiving);
    findBar->Stop();
    FinishSave(true);
    session.RefillStore(StoreOrigin::kCapture);
    session.readers().SetStartTime();
    for (int i = 0; i < found; i++) {
        if (ports[i] < 0) continue;
        try {
            session.readers().ReadCanIntf(i, ports[i]);
        } catch (const QuillonError& e) {
            // The ports opened before keep running until Stop.
            fl_alert("Error opening CAN port: %s", e.message.c_str());
            return;
        }
    }
}

void MainFrameFLTK::Stop() {
    SetToolState(ToolState::Idle);
    session.readers().StopAll();
    session.StopWriting(false);
}

void MainFrameFLTK::Clear() {
    findBar->Stop();
    FinishSave(false);
    session.ClearStore();
}

void MainFrameFLTK::FinishSave(bool whole) {
    if (!session.WritingPending(whole)) return;
    // Modal, so that no command reaches the window (a Save would replace the writer waited for);
    // the windows are still drawn and the notices still taken.
    const std::string path = session.SavePath();
    const std::string text = "saving " + path.substr(path.rfind('/') + 1);
    Fl_Window note(window->x() + 100, window->y() + 100, 320, 45);
    note.copy_label(text.c_str());
    new Fl_Box(0, 0, 320, 45, note.label());
    note.end();
    note.set_modal();
    note.show();
    RunBesideWindows([&] {
        if (whole)
            session.StopWriting(true);
        else
            session.WaitWritingHeld();
    });
}

void MainFrameFLTK::OpenPlot() {
    ReapPlots();
    // Beside the window, each new one a little further.
    const int offset = 60 + 30 * static_cast<int>(plots.size() % 8);
    plots.push_back(
        std::make_unique<PlotWindow>(session, *this, window->x() + offset, window->y() + offset));
}

void MainFrameFLTK::ReapPlots() {
    plots.erase(std::remove_if(plots.begin(), plots.end(),
                               [](const std::unique_ptr<PlotWindow>& p) { return p->Closed(); }),
                plots.end());
}

void MainFrameFLTK::PlotClosed(PlotWindow*) {
    Fl::add_timeout(0, cb_reap_plots, this);
}

void MainFrameFLTK::StopFind() {
    findBar->Stop();
}

void MainFrameFLTK::FrameSelected(StoreIndex storeIndex) {
    for (auto& plot : plots)
        if (!plot->Closed()) plot->FrameSelected(storeIndex);
}

void MainFrameFLTK::ShowFrame(StoreIndex storeIndex) {
    msgList->SelectFrame(storeIndex);
}

bool MainFrameFLTK::ConfirmDiscard() {
    if (!prefs.confirmDiscard || !session.Unsaved()) return true;
    bool dontAsk = false;
    const std::string question =
        Format("The %d messages captured have not been saved to a log file.\n\nDiscard them?",
               session.store().GetTotal(nullptr, nullptr));
    if (!AskDiscard(question, dontAsk)) return false;
    if (dontAsk) {
        prefs.confirmDiscard = 0;
        prefs.save();
    }
    return true;
}

void MainFrameFLTK::ChooseDecoder() {
    const Fl_Menu_Item* canopen = menuBar->find_item("&View/&Decoder/&CANopen");
    const ParseMode chosen = canopen && canopen->value() ? PARSE_CANOPEN : PARSE_RAW;
    if (chosen == session.parserMode()) return;
    const int stored = session.store().GetTotal(nullptr, nullptr);
    if (stored > 0 && fl_choice("Switching the decoder clears the %d messages stored.\n\nSwitch "
                                "anyway?",
                                "Cancel", "Switch", nullptr, stored) != 1) {
        for (const auto& [path, mode] : {std::pair{"&View/&Decoder/&Raw", PARSE_RAW},
                                         {"&View/&Decoder/&CANopen", PARSE_CANOPEN}}) {
            const int index = menuBar->find_index(path);
            if (index < 0) continue;
            const int flags = menuBar->mode(index) & ~FL_MENU_VALUE;
            menuBar->mode(index, flags | (mode == session.parserMode() ? FL_MENU_VALUE : 0));
        }
        return;
    }
    findBar->Stop();  // a text search describes rows with the decoder about to go
    FinishSave(false);
    session.SetParserMode(chosen);
}

void MainFrameFLTK::About() {
    fl_message("Quillon \n\nVersion %s", getVersion());
}

void MainFrameFLTK::Exit() {
    session.StopAll();
    std::exit(0);
}
