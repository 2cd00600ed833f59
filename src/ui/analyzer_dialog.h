#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Help_Dialog.H>
#include <FL/Fl_Int_Input.H>

#include <map>
#include <memory>

#include "ui/waveform_disp.h"
#include "ui/windows.h"

class Cards;

// The bus analyzer window: the diagram with Start, Config and Help, and the configuration window
// with the port, its bit rate and the test frame's identifier. Both are built on the first
// Show(). The configuration's bit rate is the port's own, set at once: the window says so, and
// closing the analyzer offers to put back the rates it changed. GUI thread only; a measurement
// blocks it while the card answers.
class AnalyzerFLTK : public AnalyzerDialog {
  public:
    // cards: whose ports it analyses. owner: the window it opens beside; may be null.
    AnalyzerFLTK(Cards& cards, MainFrame* owner) : cards(cards), owner(owner) {}
    AnalyzerFLTK(const AnalyzerFLTK&) = delete;
    AnalyzerFLTK& operator=(const AnalyzerFLTK&) = delete;

    // Lists the ports and shows the window; an alert instead when there is no port.
    void Show() override;
    // Refills the port choice from the ports found, keeping the chosen one when it is still
    // there, and shows the chosen port's bit rate. Returns the number of ports.
    int RefreshPortList();
    // The callbacks' work. Start runs one measurement on the chosen port with a test frame of
    // the given identifier and draws its figures; an alert when it fails.
    void Start();
    void Config();
    void Help();
    // Shows the chosen port's bit rate, changeable only while the port is not being read.
    void SetPort();
    // Sets the chosen port's bit rate to the chosen item at once, and shows it with the rate
    // before.
    void SetBaud();
    // Closes both windows; when ports still run at rates the analyzer set, asks whether to
    // restore the rates they had before it first changed them.
    void Close();

    std::unique_ptr<Fl_Help_Dialog> helpDlg;  // made on first use
    std::unique_ptr<Fl_Double_Window> window;
    std::unique_ptr<Fl_Double_Window> cfgWindow;
    WaveformDisp* waveform = nullptr;
    Fl_Choice* portChoice = nullptr;
    Fl_Choice* bitRateChoice = nullptr;
    Fl_Int_Input* idInput = nullptr;
    Fl_Box* rateNote = nullptr;  // the last rate set: "port 3 set to ..., was ..."

  private:
    void Build();

    Cards& cards;
    MainFrame* const owner;
    // By port number, the bit-rate code each port had before the analyzer first set its rate
    // since it was last closed.
    std::map<int, int> ratesBefore;
};

// The program's bus analyzer, without windows until it is first shown.
std::unique_ptr<AnalyzerDialog> CreateAnalyzer(Cards& cards, MainFrame* owner);
