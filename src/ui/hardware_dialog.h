#pragma once

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Tree.H>

#include <memory>

#include "hw/port_table.h"
#include "ui/windows.h"

class Cards;
class PortSelection;

// The hardware dialog: a tree of the cards and their ports (each also by its number across the
// cards, as the message list and quillon-dump number it), a panel with the selected card's
// information and its Reset button, and a panel with the selected port's bit rate, counters,
// state, load and Monitor flag. The window is built on the first Show() and refreshed ten times a
// second while it is shown and no reset or firmware update talks to a card. GUI thread only.
class HardwareDialogFLTK : public HardwareDialog {
  public:
    // cards: whose cards and ports it shows. ports: the Monitor flags it shows and sets. owner:
    // the window it opens beside; may be null.
    HardwareDialogFLTK(Cards& cards, PortSelection& ports, MainFrame* owner);
    // Stops the refresh timer, which holds a pointer to the dialog.
    ~HardwareDialogFLTK() override;
    HardwareDialogFLTK(const HardwareDialogFLTK&) = delete;
    HardwareDialogFLTK& operator=(const HardwareDialogFLTK&) = delete;

    // Refills the tree from the ports found and shows the window; an alert instead when there is
    // no port.
    void Show() override;

    // The port number of the selected item (a card's first port for a card item), -1 when nothing
    // is selected.
    int Position();
    // Fills the card or port panel from the selected item. An error of the card is shown in the
    // panel's status line; the next refresh tries again.
    void RefreshDisplay();
    // Sets the selected port's bit rate to the chosen item at once.
    void SetBaud();
    // Stores the Monitor check button's state as the selected port's flag.
    void SetMonitor();
    // Once the user confirms, resets the selected card and, for the cards whose device node goes
    // away while they restart, waits for the node to come back.
    void ResetCard();
    // Asks for a firmware file and downloads it to the selected card (UpdateFirmwareFrom).
    void UpdtFirmware();
    // Reads and checks the firmware file at path on a thread of its own, with a progress window,
    // checks that it is meant for the selected card and downloads it; a message with the new
    // version when done, an alert with the message of whatever fails. Nothing reaches the card
    // before the file has passed every check.
    void UpdateFirmwareFrom(const char* path);
    // The refresh timer's work: a refresh when the window is shown and the cards are not busy.
    void Tick();

    std::unique_ptr<Fl_Double_Window> window;  // null until the first Show()
    Fl_Tree* tree = nullptr;
    Fl_Group* cardPanel = nullptr;
    Fl_Group* portPanel = nullptr;
    Fl_Output* cardType = nullptr;
    Fl_Output* serialNum = nullptr;
    Fl_Output* fwVersion = nullptr;
    Fl_Output* drvVersion = nullptr;
    Fl_Output* chipInfo = nullptr;
    Fl_Output* warning = nullptr;  // the card's failed-update warning, in red
    Fl_Choice* bitRate = nullptr;
    Fl_Output* txErrors = nullptr;
    Fl_Output* rxErrors = nullptr;
    Fl_Output* status = nullptr;
    Fl_Output* loading = nullptr;
    Fl_Check_Button* monitorBtn = nullptr;
    bool busy = false;  // a reset or firmware update talks to a card

  private:
    Cards& cards;
    PortSelection& ports;
    MainFrame* const owner;

    void Build();
    void ShowCard(int position);
    void ShowPort(int position);
};

// The program's hardware dialog, without a window until it is first shown.
std::unique_ptr<HardwareDialog> CreateHardwareDialog(Cards& cards, PortSelection& ports,
                                                     MainFrame* owner);
