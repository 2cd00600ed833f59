#pragma once

#include <memory>

#include "app/windows.h"

class NetworkConfig;

// The program's network dialog, editing config. Loads the network configuration named by the
// preference NetCfg_Dflt into config (errors are not reported: the configuration stays empty).
std::unique_ptr<NetworkDialog> CreateNetDialog(NetworkConfig& config);
