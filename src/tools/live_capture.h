#pragma once

#include <cstdio>
#include <string>
#include <vector>

class Cards;
class Session;

// quillon-dump's live side: the listing of the cards and ports, and reading from ports.

// Prints one line per port of the cards found (tab separated: port, card, port within the card,
// card type, serial number, firmware version, bits per second, status, Tx errors, Rx errors, load)
// on out, a port whose card stays busy with the status "Card busy" and the card's fields empty;
// with none, says so on err. Returns the exit status.
int ListPorts(Cards& cards, FILE* out, FILE* err);

struct LiveOptions {
    struct Port {
        int number;
        int baudCode;
    };
    std::vector<Port> ports;
    double seconds = 0;  // stop after this long; 0: no limit
    long frames = 0;     // stop once this many frames are stored; 0: no limit
};

// Parses "N[:CODE]" into port, taking defaultCode when no code is given; the message of what is
// wrong, "" when it is right.
std::string ParsePortOption(const std::string& text, int defaultCode, LiveOptions::Port* port);

// Runs the bus analysis on a port of the cards, first setting its bit-rate code when baudCode is
// not negative, with a test frame of identifier id. Prints the figures one a line on out and
// returns 0, or 1 when one of them tells of a failure (no ACK, a stuck receive line); or prints
// the text of the alert on err and returns 1.
int AnalyzePort(Cards& cards, FILE* out, FILE* err, int port, int baudCode, int id);

// Reads from the ports into the application's store until a limit is reached or SIGINT or
// SIGTERM arrives, then stops the readers; every frame stored by then has reached the store's
// listeners. What the listeners print to out, buffered, is written out within 100 ms of a
// frame's arrival, so that the frames can be watched as they come; a write that fails ends the
// capture as a limit does (the caller finds the error on out). Returns the exit status: 1 after
// printing the message of a port that does not open.
int CaptureLive(Session& session, const LiveOptions& options, FILE* out);
