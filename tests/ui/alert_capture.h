#pragma once

#include <functional>
#include <string>

// The text of the alert or message box that action opens, which is then closed; "(no alert)"
// when none opened. (A modal window that stays open for kPatience without a capture fails the
// test that opened it and is closed.)
std::string CaptureAlert(const std::function<void()>& action);
