#pragma once

#include <memory>

// The hardware configuration dialog: the CAN cards and ports of the machine, and which ports
// Play monitors at which bit rate.
class ConfigDialog {
  public:
    virtual ~ConfigDialog() = default;
    // Fills list[i] with the bit-rate code of port i, or -1 when it is not monitored, for up to
    // max ports; returns the number of ports found (0 without a card).
    virtual int GetPortList(int* list, int max) = 0;
    virtual void Show() = 0;
};

// The program's hardware dialog.
std::unique_ptr<ConfigDialog> CreateCfgDialog();
