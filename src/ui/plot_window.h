#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Progress.H>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plot/series_feed.h"
#include "ui/plot_frames.h"
#include "ui/plot_widget.h"

class PlotWindow;
class Session;

// What a plot window asks of the window whose message list it follows (the main window), which
// in turn tells it of the list's selection (PlotWindow::FrameSelected).
class PlotOwner {
  public:
    // Selects the frame at store index in the message list, when the display filter shows it.
    virtual void ShowFrame(StoreIndex storeIndex) = 0;
    // plot's window was closed: its owner destroys it, later than this call.
    virtual void PlotClosed(PlotWindow* plot) = 0;

  protected:
    ~PlotOwner() = default;
};

// A plot window's series feed, which also tells the window's timer that frames were counted
// or that the store was cleared, and keeps the newest frame's time.
class PlotFeed : public SeriesFeed {
  public:
    using SeriesFeed::SeriesFeed;
    void Count(StoreIndex index, const CANframe& frame) override;
    void RunEnds() override;
    void Restart() override;

    int64_t newest = -1;  // of the frames counted; the feed's lock (Hold)
    std::atomic<bool> fed{false};
    std::atomic<bool> restarted{false};
};

// A plot of up to eight series of the session's frames (Tools -> Plot...): on the left the series
// the stored frames can trace, a field for any series by its text, and the traces plotted, each
// with its colour, visibility and scale (auto, or a fixed minimum and maximum); on the right the
// plot (see PlotWidget) with the CSV and PNG exports. A trace shows the history the store holds
// from when it is added (a progress bar while it is computed; the window stays live) and goes on
// with every new frame; the timer redraws at most ten times a second, when frames came in.
// A click in the plot selects the nearest frame of the chosen trace in the main window's list,
// and the list's selection puts the plot's cursor on its frame's time. GUI thread only.
class PlotWindow : private PlotWidget::Source {
  public:
    static constexpr int kChoiceFrames = 1000000;  // the newest frames the chooser looks at

    // Attaches its feed to session; owner: whose list it follows. Shown at (x, y).
    PlotWindow(Session& session, PlotOwner& owner, int x, int y);
    // Detaches the feed.
    ~PlotWindow();
    PlotWindow(const PlotWindow&) = delete;
    PlotWindow& operator=(const PlotWindow&) = delete;

    // The list selected the frame at store index: the cursor goes to its time.
    void FrameSelected(StoreIndex storeIndex);
    // Closed, and done with what it was computing: its owner may destroy it.
    bool Closed() const { return closing && busy == 0; }

    // The controls' work. Plot adds a series by its text (an alert when it is not one, is
    // plotted already, or eight are) and computes its history; false when it was not added.
    void Scan();
    bool Plot(const std::string& text);
    void PlotChoice();
    void ChooseTrace(int i);
    void RemoveTrace();
    // One of the chosen trace's controls changed.
    void LookChanged(Fl_Widget* changed);
    void Pick(int64_t time);
    // The visible time range as CSV, the plot as PNG at the widget's size; "" or why not.
    std::string ExportCsv(const std::string& path);
    std::string SavePng(const std::string& path);
    void AskExportCsv();
    void AskSavePng();
    // Asks for a file to save to (title, chooser filter) and writes it; write's error is shown.
    void AskAndWrite(const char* title, const char* filter,
                     const std::function<std::string(const std::string&)>& write);
    void Tick();
    void Close();

    std::unique_ptr<Fl_Double_Window> window;
    // Children of window.
    Fl_Hold_Browser* choiceList = nullptr;
    Fl_Input* seriesInput = nullptr;
    Fl_Hold_Browser* traceList = nullptr;
    Fl_Check_Button* visibleButton = nullptr;
    Fl_Check_Button* autoButton = nullptr;
    Fl_Float_Input* minInput = nullptr;
    Fl_Float_Input* maxInput = nullptr;
    Fl_Group* controls = nullptr;  // what is inactive while a history is computed
    PlotWidget* plot = nullptr;
    Fl_Progress* progress = nullptr;
    std::vector<SeriesChoice> choices;  // as choiceList lists them

  private:
    // How a trace is shown, by the feed's series index.
    struct Look {
        std::string label;
        PlotColor color;
        int colorIndex = 0;
        bool visible = true;
        bool autoScale = true;
        double fixedMin = 0, fixedMax = 1;
        bool banded = false;  // fixed by a rubber band: Home makes it automatic again
    };

    std::unique_lock<std::mutex> Hold() override { return feed.Hold(); }
    void Traces(std::vector<PlotTrace>* traces) override;
    int64_t Newest() override { return feed.newest; }
    // The trace list's lines and the chosen trace's controls, from looks.
    void ShowTraces();
    int Chosen() const;
    // A rubber band's values (shares of the plot's height): each visible trace fixed to them.
    void Band(double low, double high);
    // Home: the traces a band fixed scale themselves again.
    void Home();
    // Runs work (the progress bar showing its share done, the controls inactive), and a close
    // asked for meanwhile once it ends; work's argument is the progress callback.
    void Busy(const std::function<void(const std::function<bool(double)>&)>& work);
    int BitRate(const SeriesDef& def);

    Session& session;
    PlotOwner& owner;
    PlotFeed feed;  // attached from the constructor to the destructor
    std::vector<Look> looks;
    std::unique_ptr<Fl_Native_File_Chooser> fileChooser;
    int busy = 0;
    bool closing = false;
};
