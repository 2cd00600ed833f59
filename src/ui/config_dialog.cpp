#include "ui/config_dialog.h"

#include "base/quillon_error.h"
#include "hw/can_intf.h"
#include "hw/port_table.h"

namespace {

// The hardware dialog's choices: every port found is monitored at the bit rate its card is set
// to. Its window, which shows the cards and lets the user change both, is still to come.
class CfgDialogFLTK : public ConfigDialog {
  public:
    CfgDialogFLTK() {
        for (bool& m : monitor) m = true;
    }

    int GetPortList(int* list, int max) override {
        int n = 0;
        for (; n < max && n < PortTable::kMaxPorts; n++) {
            try {
                CanIntf port(n, false);
                const PortInfo info = port.getPortInfo();
                list[n] = monitor[n] ? info.baudCode : -1;
            } catch (const QuillonError&) {
                break;
            }
        }
        return n;
    }
    void Show() override {}

  private:
    bool monitor[PortTable::kMaxPorts];  // the Monitor flag of each port
};

}  // namespace

std::unique_ptr<ConfigDialog> CreateCfgDialog() {
    return std::make_unique<CfgDialogFLTK>();
}
