#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/parse_mode.h"
#include "app/windows.h"
#include "base/threads_posix.h"
#include "hw/can_reader.h"
#include "io/log_notices.h"
#include "io/read_manager.h"
#include "netcfg/network_config.h"
#include "store/frame_filter.h"

class FiltStore;
class FilterLogic;
class MsgStore;
class Parser;

// The application object: one for the whole process (App()). It owns the shared objects and
// wires them together: the stores, the decoder, the display filter, the readers, the network
// configuration, the windows. The layers below it are handed what they use and never look for
// it; the windows and the programs' start-up reach it through App().
//
// It is itself two of the collaborators it hands out: the display filter with its mutex, which
// the filtered view matches with (FrameFilter), and the receiver of the log threads' completion
// notices, which it passes to the main window (LogNotices).
class Quillon : public FrameFilter, public LogNotices {
  public:
    // No store, decoder or window yet; the filter passes everything.
    Quillon();
    // Stops the readers before the store and the decoder they use go away.
    ~Quillon();

    // Start-up: parses the command line, builds the shared objects and the windows and runs
    // the event loop. Returns the exit status. Defined with the program's entry point.
    int main(int argc, char** argv);

    // Creates the message store with capacity frames and the filtered view over it, and
    // connects them to the filter and the readers, and to a decoder of the mode already chosen.
    // Not while readers add frames.
    void CreateStores(int capacity);

    // "1.06"
    static const char* getVersion();

    // Selects the decoder (raw for anything but PARSE_CANOPEN), makes it the store's scanner and
    // clears the message store. Not while readers add frames.
    void SetParserMode(ParseMode mode);

    // Called before a card is reset or its firmware replaced. The readers of its ports are left
    // running: they ride out the card's absence (see CanReader).
    void StopReaders() {}

    // Installs filter as the display filter and rebuilds the filtered view with it (GUI thread);
    // progress as for FiltStore::Reset.
    void SetFilter(std::unique_ptr<FilterLogic> filter,
                   const std::function<void()>& progress = nullptr);

    // Offered for a client/server mode that the program does not act on.
    bool IsClient() const;
    uint16_t serverPort() const;
    std::string serverName() const;

    // FrameFilter: the display filter under mutex.
    Mutex& FilterLock() override { return mutex; }
    bool Passes(const CANframe& frame) override;
    // LogNotices: forwarded to the main window, when there is one.
    void LogReadDone() override;
    void LogWriteDone() override;

    // Destroyed in the reverse order: the filtered view before the message store it listens to,
    // both before the filter and its mutex.
    Mutex mutex;                          // guards filter while it is matched or replaced
    std::unique_ptr<FilterLogic> filter;  // the display filter; passes everything at first
    MainFrame* mainFrame = nullptr;       // null without a window
    std::unique_ptr<ConfigDialog> cfgDialog;
    std::unique_ptr<NetworkDialog> netDialog;
    std::unique_ptr<FiltDialog> filtDialog;
    std::unique_ptr<AnalyzerDialog> analyzer;
    CanPortOpener portOpener;  // the readers' CAN ports
    ReadManager readMgr{this, &portOpener};
    std::unique_ptr<MsgStore> msgStore;
    std::unique_ptr<FiltStore> filtStore;  // the frames filter passes, over msgStore
    std::unique_ptr<Parser> parser;        // the current decoder
    ParseMode parseMode = PARSE_NONE;      // of parser
    NetworkConfig netConfig;               // names the objects of SDO transfers
};

Quillon& App();
