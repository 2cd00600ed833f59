#pragma once

#include <memory>

// The network configuration dialog: edits the application's network configuration.
class NetworkDialog {
  public:
    virtual ~NetworkDialog() = default;
    virtual void Show() = 0;
};

// The program's network dialog. Loads the network configuration named by the preference
// NetCfg_Dflt into the application's (errors are not reported: the configuration stays empty).
std::unique_ptr<NetworkDialog> CreateNetDialog();
