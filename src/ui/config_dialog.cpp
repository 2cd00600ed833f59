#include "ui/config_dialog.h"

namespace {

// The program has no CAN card driver layer yet, so there are no cards and no ports: Play says
// so, and there is nothing to configure.
class NoCardsDialog : public ConfigDialog {
  public:
    int GetPortList(int*, int) override { return 0; }
    void Show() override {}
};

}  // namespace

std::unique_ptr<ConfigDialog> CreateCfgDialog() {
    return std::make_unique<NoCardsDialog>();
}
