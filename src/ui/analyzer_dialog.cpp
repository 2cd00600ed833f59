#include "ui/analyzer_dialog.h"

#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/bus_analysis.h"
#include "hw/can_intf.h"
#include "hw/port_survey.h"
#include "ui/help_text.h"
#include "ui/ui_helpers.h"

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 450;
constexpr int kCfgWidth = 400;
constexpr int kCfgHeight = 300;
// The bit time drawn before the first measurement when port 0 has no bit rate.
constexpr double kDefaultBitTime = 1000;

AnalyzerFLTK* Self(void* data) {
    return static_cast<AnalyzerFLTK*>(data);
}

void cb_start(Fl_Widget*, void* data) {
    Self(data)->Start();
}
void cb_config(Fl_Widget*, void* data) {
    Self(data)->Config();
}
void cb_cfg_ok(Fl_Widget*, void* data) {
    Self(data)->cfgWindow->hide();
}
void cb_help(Fl_Widget*, void* data) {
    Self(data)->Help();
}
void cb_setport(Fl_Widget*, void* data) {
    Self(data)->SetPort();
}
void cb_bit_rate(Fl_Widget*, void* data) {
    Self(data)->SetBaud();
}
void cb_close(Fl_Widget*, void* data) {
    Self(data)->Close();
}

std::string RateText(int code) {
    return code >= 0 && code < static_cast<int>(std::size(kBitRateLabels)) ? kBitRateLabels[code]
                                                                           : "an unknown rate";
}

}  // namespace

void AnalyzerFLTK::Build() {
    const int m = GetMargin();
    int x = -1, y = -1;
    if (owner) owner->GetXY(x, y);
    if (x >= 0 && y >= 0)
        window = std::make_unique<Fl_Double_Window>(x + 100, y + 100, kWidth, kHeight,
                                                    "CAN network analyzer");
    else
        window = std::make_unique<Fl_Double_Window>(kWidth, kHeight, "CAN network analyzer");
    int bx = m, by = kHeight - m - BtnHeight();
    NewBtn(bx, by, 1, "Start", cb_start, this, nullptr);
    NewBtn(bx, by, 1, "Config", cb_config, this, nullptr);
    int hw, hh;
    BtnSize("Help", hw, hh);
    bx = kWidth - m - hw;
    NewBtn(bx, by, 0, "Help", cb_help, this, nullptr);
    waveform = new WaveformDisp(m, m, kWidth - 2 * m, kHeight - 3 * m - BtnHeight());
    window->end();
    window->callback(cb_close, this);

    cfgWindow = std::make_unique<Fl_Double_Window>(window->x() + 100, window->y() + 100, kCfgWidth,
                                                   kCfgHeight, "Configure analyzer");
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    const int c = m + static_cast<int>(std::ceil(fl_width("Message ID: ")));
    portChoice = new Fl_Choice(c, m, kCfgWidth - c - m, FieldHeight(), "Port: ");
    portChoice->tooltip("CAN port to analyze");
    bitRateChoice =
        new Fl_Choice(c, m + FieldHeight(), kCfgWidth - c - m, FieldHeight(), "Bit rate: ");
    bitRateChoice->tooltip("CAN port bit rate");
    bitRateChoice->callback(cb_bit_rate, this);
    for (const char* rate : kBitRateLabels) bitRateChoice->add(rate);
    bitRateChoice->value(0);
    idInput = new Fl_Int_Input(c, m + 3 * FieldHeight(),
                               static_cast<int>(std::ceil(fl_width("  0x88888888  "))),
                               FieldHeight(), "Message ID: ");
    idInput->tooltip("CAN ID of message to transmit when analyzing bus");
    idInput->value("0x0000");
    rateNote = new Fl_Box(m, m + 5 * FieldHeight(), kCfgWidth - 2 * m, 2 * FieldHeight());
    rateNote->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP);
    int ox = m, oy = kCfgHeight - m - BtnHeight();
    NewBtn(ox, oy, 0, "OK", cb_cfg_ok, this, nullptr);
    cfgWindow->end();
}

void AnalyzerFLTK::Show() {
    if (!window) Build();
    if (RefreshPortList() == 0) {
        fl_alert("%s", kNoCardsAlert);
        return;
    }
    window->show();
}

int AnalyzerFLTK::RefreshPortList() {
    const int chosen = portChoice->value();
    portChoice->clear();
    const std::vector<SurveyedPort> ports = SurveyPorts(cards, false);
    for (const SurveyedPort& port : ports)
        portChoice->add(Format("CARD %d, PORT %d", port.card, port.cardPort).c_str(), 0, cb_setport,
                        this);
    if (ports.empty()) return 0;
    const int bps = CanIntf::GetBPS(ports[0].portInfo.baudCode);
    waveform->SetIdleBitTime(bps ? 1e9 / bps : kDefaultBitTime);
    portChoice->value(chosen >= 0 && chosen < static_cast<int>(ports.size()) ? chosen : 0);
    SetPort();
    return static_cast<int>(ports.size());
}

void AnalyzerFLTK::Start() {
    const BusMeasurement result =
        MeasureBus(cards, portChoice->value(), StrToInt(idInput->value()));
    if (result.ok)
        waveform->Update(result.stats, result.stuckHigh, result.stuckLow);
    else
        fl_alert("%s", result.alert.c_str());
}

void AnalyzerFLTK::Config() {
    if (RefreshPortList() == 0) {
        fl_alert("%s", kNoCardsAlert);
        return;
    }
    cfgWindow->show();
}

void AnalyzerFLTK::Help() {
    ShowHelpPage(helpDlg, "analyzer");
}

void AnalyzerFLTK::SetPort() {
    try {
        const PortInfo info = CanIntf(cards, portChoice->value(), false).getPortInfo();
        if (info.isOpen)
            bitRateChoice->deactivate();
        else
            bitRateChoice->activate();
        bitRateChoice->value(info.baudCode >= 0 ? info.baudCode : -1);
    } catch (const QuillonError& e) {
        fl_alert("%s", e.message.c_str());
    }
}

void AnalyzerFLTK::SetBaud() {
    const int port = portChoice->value();
    const int chosen = bitRateChoice->value();
    try {
        CanIntf intf(cards, port, false);
        const int before = intf.getBaud();
        intf.setBaud(chosen);
        ratesBefore.emplace(port, before);  // the first change's
        rateNote->copy_label(Format("port %d set to %s, was %s", port, RateText(chosen).c_str(),
                                    RateText(before).c_str())
                                 .c_str());
    } catch (const QuillonError& e) {
        fl_alert("%s", e.message.c_str());
    }
}

void AnalyzerFLTK::Close() {
    cfgWindow->hide();
    std::string changes;
    std::map<int, int> restorable;
    for (const auto& [port, before] : ratesBefore) {
        try {
            const int now = CanIntf(cards, port, false).getBaud();
            if (now == before || before < 0) continue;
            restorable[port] = before;
            changes += Format("\nport %d set to %s, was %s", port, RateText(now).c_str(),
                              RateText(before).c_str());
        } catch (const QuillonError&) {
            // The port is gone: nothing to restore.
        }
    }
    ratesBefore.clear();
    rateNote->label(nullptr);
    if (!restorable.empty() &&
        fl_choice("The analyzer changed the bit rate of its ports:%s\n\nRestore the previous "
                  "rates?",
                  "Keep", "Restore", nullptr, changes.c_str()) == 1) {
        for (const auto& [port, before] : restorable) {
            try {
                CanIntf(cards, port, false).setBaud(before);
            } catch (const QuillonError& e) {
                fl_alert("%s", e.message.c_str());
            }
        }
    }
    window->hide();
}

std::unique_ptr<AnalyzerDialog> CreateAnalyzer(Cards& cards, MainFrame* owner) {
    return std::make_unique<AnalyzerFLTK>(cards, owner);
}
