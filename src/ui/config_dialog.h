#pragma once

#include <memory>

#include "app/windows.h"

// The program's hardware dialog.
std::unique_ptr<ConfigDialog> CreateCfgDialog();
