#pragma once

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Help_Dialog.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Window.H>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/msg_detail.h"
#include "ui/msg_list.h"
#include "ui/plot_window.h"
#include "ui/status_bar.h"
#include "ui/windows.h"

class FindBar;
class QL_Settings;
class Session;

// The program's window: menu bar, toolbar, the message list over the detail view, the find bar
// under them when shown, the status bar at the bottom. Reader and writer threads only post their
// completion notices; everything else runs on the GUI thread, and no error escapes a callback (it
// is shown in an alert).
class MainFrameFLTK : public MainFrame, public PlotOwner {
  public:
    // session: what the window shows and drives; it tells the window of its replays' and log
    // writer's ends while the window lives. prefs: the views' font, and whether to ask before
    // an unsaved capture is discarded (its "Don't ask again" is saved there).
    MainFrameFLTK(Session& session, QL_Settings& prefs);
    ~MainFrameFLTK() override;

    void OpenLogFile(const std::string& path) override;
    void GetXY(int& x, int& y) override;
    MsgDetail* GetMsgDetail() override { return msgDetail; }
    void SetDialogs(Dialogs dialogs) override;
    FrameSelection SelectFrame(StoreIndex index) override;
    void LogReadDone() override;
    void LogWriteDone() override;
    void ReadFault(const std::string& message) override;
    void LogWriteFault(const std::string& message) override;
    // The list's selection, told to the plot windows; a plot's choice, selected in the list.
    void FrameSelected(StoreIndex storeIndex) override;
    void ShowFrame(StoreIndex storeIndex) override;
    void PlotClosed(PlotWindow* plot) override;
    void StopFind() override;

    // The window's place on a screen of the given size: at a tenth of it, 90 % of it at most
    // 800 by 600.
    static void Geometry(int screenW, int screenH, int& x, int& y, int& w, int& h);
    // Which tools and menu items are available.
    enum class ToolState { Idle, Receiving, Replaying };
    void SetToolState(ToolState state);
    void EnableMenu(const char* path, bool enable);
    // value 0 or 1 also sets a button's pressed state; -1 leaves it.
    void EnableTool(Fl_Image* icon, bool enable, int value);
    bool Enabled(Fl_Image* icon);

    void OpenFile();
    void SaveFile();
    void Play();
    void Stop();
    void Clear();
    // Opens another plot window (Tools -> Plot...).
    void OpenPlot();
    // Destroys the plot windows that were closed.
    void ReapPlots();
    // Whether Play or Open may discard what the store holds: asked when it holds an unsaved
    // capture, unless the user said not to ask again.
    bool ConfirmDiscard();
    // Switches to the decoder the View menu's radio items now name, once the user agrees that
    // switching clears a store that holds frames; else the items show the current one again.
    void ChooseDecoder();
    // Before the store is cleared: waits, the windows live, until the log writer has written
    // the frames the store held when it began (whole: every frame it was asked to, its file
    // closed), so that the file holds none of the frames stored after the clear.
    void FinishSave(bool whole);
    void About();
    [[noreturn]] void Exit();

    // The completion notices, on the GUI thread. A notice whose wake-up was lost (a full
    // queue) is taken by the next timer run instead.
    void ReadDoneOnGuiThread();
    void WriteDoneOnGuiThread();
    // The readers' and the writer's faults, on the GUI thread, in one alert.
    void FaultsOnGuiThread();

    Session& session;
    Dialogs dialogs;
    std::unique_ptr<Fl_Double_Window> window;
    std::unique_ptr<Fl_Native_File_Chooser> fileChooser;
    Fl_Menu_Bar* menuBar = nullptr;  // children of window
    Fl_Window* toolbar = nullptr;
    MsgList* msgList = nullptr;
    MsgDetail* msgDetail = nullptr;
    FindBar* findBar = nullptr;  // under the list and the detail view, shown on Ctrl+F
    StatusBar* statusBar = nullptr;
    std::vector<std::unique_ptr<PlotWindow>> plots;  // open, or closed and not yet destroyed
    std::unique_ptr<Fl_Help_Dialog> keysHelp;        // Help -> Keys and mouse, made on first use

  private:
    QL_Settings& prefs;
    std::atomic<bool> readDone{false};
    std::atomic<bool> writeDone{false};
    std::mutex faultLock;             // guards faults, filled by reader and writer threads
    std::vector<std::string> faults;  // reader and writer faults not yet shown
};

std::unique_ptr<MainFrame> CreateMainFrame(Session& session, QL_Settings& prefs);
