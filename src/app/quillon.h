#pragma once

#include <cstdint>
#include <string>

#include "app/parse_mode.h"

// The application object: one for the whole process (App()), the place where every part of the
// program finds the shared objects.
class Quillon {
  public:
    // Start-up: parses the command line, builds the shared objects and runs the event loop.
    // Returns the exit status.
    int main(int argc, char** argv);

    // "1.06"
    static const char* getVersion();

    // Selects the decoder; raw for anything but PARSE_CANOPEN. Not while readers add frames.
    void SetParserMode(ParseMode mode);

    // Offered for a client/server mode that the program does not act on.
    bool IsClient() const;
    uint16_t serverPort() const;
    std::string serverName() const;

    ParseMode parseMode = PARSE_NONE;  // of the current decoder
};

Quillon& App();
