#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/parse_mode.h"
#include "io/read_manager.h"

class MainFrame;
class MsgStore;
class Parser;

// The application object: one for the whole process (App()), the place where every part of the
// program finds the shared objects.
class Quillon {
  public:
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

    // Offered for a client/server mode that the program does not act on.
    bool IsClient() const;
    uint16_t serverPort() const;
    std::string serverName() const;

    MainFrame* mainFrame = nullptr;  // null without a window
    ReadManager readMgr;
    std::unique_ptr<MsgStore> msgStore;
    std::unique_ptr<Parser> parser;    // the current decoder
    ParseMode parseMode = PARSE_NONE;  // of parser
};

Quillon& App();
