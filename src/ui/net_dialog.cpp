#include "ui/net_dialog.h"

#include "app/settings.h"
#include "netcfg/network_config.h"

namespace {

// Until the dialog has its window there is nothing to show; the configuration is loaded and
// names objects all the same.
class NetworkDialogWithoutWindow : public NetworkDialog {
  public:
    void Show() override {}
};

}  // namespace

std::unique_ptr<NetworkDialog> CreateNetDialog(NetworkConfig& config) {
    if (!settings.netCfgDflt.empty()) config.Load(settings.netCfgDflt.c_str());
    return std::make_unique<NetworkDialogWithoutWindow>();
}
