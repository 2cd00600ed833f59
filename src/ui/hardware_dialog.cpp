#include "ui/hardware_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <string>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/can_intf.h"
#include "hw/cards.h"
#include "hw/firmware_file.h"
#include "hw/port_survey.h"
#include "session/port_selection.h"
#include "ui/background_work.h"
#include "ui/progress.h"
#include "ui/ui_helpers.h"

namespace {

constexpr double kRefreshSeconds = 0.1;
// Cards of these types drop their device node while they restart after a reset.
constexpr int kVanishingTypes[] = {259, 260};
constexpr int kResetTries = 5;
constexpr auto kResetPause = std::chrono::milliseconds(1000);

HardwareDialogFLTK* Self(void* data) {
    return static_cast<HardwareDialogFLTK*>(data);
}

void cb_ok(Fl_Widget*, void* data) {
    Self(data)->window->hide();
}
void cb_tree(Fl_Widget*, void* data) {
    Self(data)->RefreshDisplay();
}
void cb_bit_rate(Fl_Widget*, void* data) {
    Self(data)->SetBaud();
}
void cb_monitor(Fl_Widget*, void* data) {
    Self(data)->SetMonitor();
}
void cb_reset(Fl_Widget*, void* data) {
    Self(data)->ResetCard();
}
void cb_firmware(Fl_Widget*, void* data) {
    Self(data)->UpdtFirmware();
}
void cb_timeout(void* data) {
    Fl::repeat_timeout(kRefreshSeconds, cb_timeout, data);
    Self(data)->Tick();
}

// An output without box whose label is drawn to its left.
Fl_Output* NewField(int x, int y, int w, int h, const char* label) {
    auto* field = new Fl_Output(x, y, w, h, label);
    field->box(FL_NO_BOX);
    return field;
}

}  // namespace

HardwareDialogFLTK::HardwareDialogFLTK(Cards& cards, PortSelection& ports, MainFrame* owner)
    : cards(cards), ports(ports), owner(owner) {}

HardwareDialogFLTK::~HardwareDialogFLTK() {
    Fl::remove_timeout(cb_timeout, this);
}

void HardwareDialogFLTK::Build() {
    const int m = GetMargin();
    int x = -1, y = -1;
    if (owner) owner->GetXY(x, y);
    if (owner && x + 100 >= 0 && y + 100 >= 0) {
        window = std::make_unique<Fl_Double_Window>(x + 100, y + 100, 500, 300,
                                                    "CAN Hardware Configuration");
    } else {
        window = std::make_unique<Fl_Double_Window>(500, 300, "CAN Hardware Configuration");
    }
    int bx = m, by = 260;
    NewBtn(bx, by, 0, "OK", cb_ok, this, nullptr);
    new Fl_Box(FL_ENGRAVED_BOX, 10, 10, 150, 240, nullptr);
    new Fl_Box(FL_ENGRAVED_BOX, 170, 10, 320, 240, nullptr);

    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    const int row = static_cast<int>(1.5 * fl_height());

    portPanel = new Fl_Group(170, 10, 320, 240);
    {
        const int label = static_cast<int>(fl_width("Rx Errors: "));
        const int fx = 180 + label, fw = 320 - label - 20;
        bitRate = new Fl_Choice(fx, 20, fw, FieldHeight(), "Bit Rate: ");
        for (const char* rate : kBitRateLabels) bitRate->add(rate, 0, cb_bit_rate, this);
        bitRate->value(0);
        txErrors = NewField(fx, 45, fw, row, "Tx Errors: ");
        rxErrors = NewField(fx, 45 + row, fw, row, "Rx Errors: ");
        status = NewField(fx, 45 + 2 * row, fw, row, "Status: ");
        loading = NewField(fx, 45 + 3 * row, fw, row, "Loading: ");
        monitorBtn = new Fl_Check_Button(180 + static_cast<int>(fl_width("XXXX")),
                                         45 + 4 * row + 25, fw, 25, " Monitor");
        monitorBtn->value(1);
        monitorBtn->callback(cb_monitor, this);
    }
    portPanel->end();

    cardPanel = new Fl_Group(170, 10, 320, 240);
    {
        int px = 180, py = 210;
        // Downloading firmware needs the firmware file support, which this button does not have.
        NewBtn(px, py, 1, "Update Firmware", cb_firmware, this, nullptr);
        NewBtn(px, py, 0, "Reset", cb_reset, this, nullptr);
        const int label = static_cast<int>(fl_width("Firmware Version: "));
        const int fx = 180 + label, fw = 320 - label - 20;
        cardType = NewField(fx, 20, fw, FieldHeight(), "Card Type: ");
        serialNum = NewField(fx, 20 + row, fw, FieldHeight(), "Serial Number: ");
        fwVersion = NewField(fx, 20 + 2 * row, fw, FieldHeight(), "Firmware Version: ");
        drvVersion = NewField(fx, 20 + 3 * row, fw, FieldHeight(), "Driver Version: ");
        chipInfo = NewField(fx, 20 + 4 * row, fw, FieldHeight(), "Chip info: ");
        warning = NewField(180, 20 + 5 * row, 300, FieldHeight(), nullptr);
        warning->textcolor(FL_RED);
    }
    cardPanel->end();

    tree = new Fl_Tree(20, 20, 130, 220);
    tree->showroot(0);
    tree->callback(cb_tree, this);
    window->end();
    Fl::add_timeout(kRefreshSeconds, cb_timeout, this);
}

void HardwareDialogFLTK::Show() {
    if (!window) Build();
    tree->clear_children(tree->root());
    const std::vector<SurveyedPort> ports = SurveyPorts(cards, false);
    for (const SurveyedPort& p : ports)
        tree->add(Format("CARD %d/PORT %d (port %d)", p.card, p.cardPort, p.port).c_str());
    if (ports.empty()) {
        window->hide();
        fl_alert("%s", kNoCardsAlert);
        return;
    }
    tree->select_only(tree->find_item("CARD 0"), 0);
    RefreshDisplay();
    window->show();
}

int HardwareDialogFLTK::Position() {
    if (!tree) return -1;
    const Fl_Tree_Item* selected = tree->first_selected_item();
    if (!selected) return -1;
    int ports = 0;
    for (Fl_Tree_Item* item = tree->next(tree->first()); item && item != selected;
         item = tree->next(item))
        if (item->label() && std::strstr(item->label(), "PORT")) ports++;
    return ports;
}

void HardwareDialogFLTK::RefreshDisplay() {
    const int position = Position();
    if (position < 0) return;
    const char* label = tree->first_selected_item()->label();
    if (label && std::strstr(label, "PORT")) {
        cardPanel->hide();
        portPanel->show();
        ShowPort(position);
    } else {
        portPanel->hide();
        cardPanel->show();
        ShowCard(position);
    }
    window->redraw();
}

void HardwareDialogFLTK::ShowCard(int position) {
    chipInfo->hide();
    try {
        CanIntf port(cards, position, false);
        SurveyedPort surveyed;
        surveyed.cardInfo = port.getCardInfo();
        surveyed.name = cards.ports().Node(position);
        const CardInfo& info = surveyed.cardInfo;
        cardType->value(CardTypeText(surveyed).c_str());
        serialNum->value(Format("%d", info.serialNum).c_str());
        fwVersion->value(info.fwVersion.c_str());
        drvVersion->value(info.drvVersion.c_str());
        if (info.param12 & 1) {
            warning->value("Last firmware update failed!");
            warning->show();
        } else {
            warning->hide();
        }
    } catch (const QuillonError& e) {
        warning->value(e.message.c_str());
        warning->show();
    }
}

void HardwareDialogFLTK::ShowPort(int position) {
    if (position < PortTable::kMaxPorts) monitorBtn->value(ports.Monitored(position) ? 1 : 0);
    try {
        CanIntf port(cards, position, false);
        const PortInfo info = port.getPortInfo();
        if (info.isOpen)
            bitRate->deactivate();
        else
            bitRate->activate();
        if (info.baudCode < 0)
            bitRate->value(static_cast<const Fl_Menu_Item*>(nullptr));
        else
            bitRate->value(info.baudCode);
        txErrors->value(info.txErrors.c_str());
        rxErrors->value(info.rxErrors.c_str());
        status->value(info.status.c_str());
        loading->value(Format("%5.1lf%%", info.loading).c_str());
    } catch (const QuillonError& e) {
        status->value(e.message.c_str());
    }
}

void HardwareDialogFLTK::SetBaud() {
    const int position = Position();
    if (position < 0) return;
    try {
        CanIntf port(cards, position, false);
        port.setBaud(bitRate->value());
    } catch (const QuillonError& e) {
        fl_alert("%s", e.message.c_str());
    }
}

void HardwareDialogFLTK::SetMonitor() {
    const int position = Position();
    ports.SetMonitored(position, monitorBtn->value());
}

void HardwareDialogFLTK::ResetCard() {
    const int position = Position();
    if (position < 0 || busy) return;  // busy: a click while the windows wait for the card
    if (fl_choice("Reset %s?\nThe card restarts: reading its ports stops until it is back.",
                  "Cancel", "Reset", nullptr, tree->first_selected_item()->label()) != 1)
        return;
    busy = true;
    try {
        int type;
        {
            CanIntf port(cards, position, false);
            type = port.getCardInfo().cardType;
            port.Reset();
        }
        const bool vanishes = std::find(std::begin(kVanishingTypes), std::end(kVanishingTypes),
                                        type) != std::end(kVanishingTypes);
        for (int i = 0; vanishes && i < kResetTries; i++) {
            // The windows stay live while the card restarts; the refresh waits (busy).
            const auto until = std::chrono::steady_clock::now() + kResetPause;
            while (std::chrono::steady_clock::now() < until) Fl::wait(0.05);
            try {
                CanIntf back(cards, position, true);
                break;
            } catch (const QuillonError&) {
                // Still restarting: its node is not back yet.
            }
        }
    } catch (const QuillonError& e) {
        busy = false;  // the alert's event loop goes on refreshing
        fl_alert("%s", e.message.c_str());
    }
    busy = false;
}

void HardwareDialogFLTK::UpdtFirmware() {
    if (Position() < 0) return;
    Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
    chooser.title("Select firmware file");
    chooser.filter("Firmware files\t*.kfw");
    chooser.options(0);
    if (chooser.show() != 0 || !chooser.filename() || !*chooser.filename()) return;
    UpdateFirmwareFrom(chooser.filename());
}

void HardwareDialogFLTK::UpdateFirmwareFrom(const char* path) {
    const int position = Position();
    if (position < 0 || busy) return;
    busy = true;          // also while the file is read: the windows stay live meanwhile
    std::string version;  // the new firmware's, once the card holds it
    try {
        int x = 0, y = 0;
        if (owner) owner->GetXY(x, y);
        std::unique_ptr<Progress> progress = NewProgress("Updating firmware", x, y, 0, 0);
        progress->Update(0, "Checking the firmware file");
        // Read and checked whole before the card hears of it, off the windows' thread.
        FirmwareFile file;
        RunBesideWindows([&file, path] { file.Load(path); });
        CanIntf port(cards, position, false);
        CheckFirmwareCompatible(file, port.getCardInfo().cardType);
        port.DnldFirmware(file, progress.get());
        version = CanIntf::FmtVerStr(file.GetMainVersion());
    } catch (const QuillonError& e) {
        busy = false;  // the alert's event loop goes on refreshing
        fl_alert("%s", e.message.c_str());
    }
    busy = false;
    if (!version.empty()) fl_message("Firmware updated to version %s", version.c_str());
}

void HardwareDialogFLTK::Tick() {
    if (window && window->visible() && !busy) RefreshDisplay();
}

std::unique_ptr<HardwareDialog> CreateHardwareDialog(Cards& cards, PortSelection& ports,
                                                     MainFrame* owner) {
    return std::make_unique<HardwareDialogFLTK>(cards, ports, owner);
}
