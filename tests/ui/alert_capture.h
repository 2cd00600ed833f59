#pragma once

#include <functional>
#include <string>

// The text of the alert or message box that action opens, which is then closed; "(no alert)"
// when none opened.
std::string CaptureAlert(const std::function<void()>& action);
