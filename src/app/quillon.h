#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/parse_mode.h"
#include "app/threads_posix.h"
#include "io/read_manager.h"
#include "netcfg/network_config.h"

class ConfigDialog;
class FiltDialog;
class FiltStore;
class FilterLogic;
class MainFrame;
class MsgStore;
class NetworkDialog;
class Parser;

// The application object: one for the whole process (App()), the place where every part of the
// program finds the shared objects.
class Quillon {
  public:
    // No store, decoder or window yet; the filter passes everything.
    Quillon();
    // Stops the readers before the store and the decoder they use go away.
    ~Quillon();

    // Start-up: parses the command line, builds the shared objects and runs the event loop.
    // Returns the exit status.
    int main(int argc, char** argv);

    // "1.06"
    static const char* getVersion();

    // Selects the decoder (raw for anything but PARSE_CANOPEN) and clears the message store.
    // Not while readers add frames.
    void SetParserMode(ParseMode mode);

    // Installs filter as the display filter and rebuilds the filtered view with it (GUI thread).
    void SetFilter(std::unique_ptr<FilterLogic> filter);

    // Offered for a client/server mode that the program does not act on.
    bool IsClient() const;
    uint16_t serverPort() const;
    std::string serverName() const;

    // Destroyed in the reverse order: the filtered view before the message store it listens to,
    // both before the filter and its mutex.
    Mutex mutex;                          // guards filter while it is matched or replaced
    std::unique_ptr<FilterLogic> filter;  // the display filter; passes everything at first
    MainFrame* mainFrame = nullptr;       // null without a window
    std::unique_ptr<ConfigDialog> cfgDialog;
    std::unique_ptr<NetworkDialog> netDialog;
    std::unique_ptr<FiltDialog> filtDialog;
    ReadManager readMgr;
    std::unique_ptr<MsgStore> msgStore;
    std::unique_ptr<FiltStore> filtStore;  // the frames filter passes, over msgStore
    std::unique_ptr<Parser> parser;        // the current decoder
    ParseMode parseMode = PARSE_NONE;      // of parser
    NetworkConfig netConfig;               // names the objects of SDO transfers
};

Quillon& App();
