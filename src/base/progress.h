#pragma once

// Progress of a long operation that runs on the GUI thread (a firmware download, for one): the
// windows show it, the layers below report to it.
class Progress {
  public:
    virtual ~Progress() = default;
    virtual void SetMax(float max) = 0;
    // Shows value (and text, when given) and lets the windows process pending events, so they
    // stay live while the caller works.
    virtual void Update(float value, const char* text) = 0;
};
