#pragma once

#include <memory>

#include "app/windows.h"

// The program's filter dialog.
std::unique_ptr<FiltDialog> CreateFiltDialog();
