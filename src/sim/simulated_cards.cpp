#include "sim/simulated_cards.h"

#include "io/log_parser.h"

SimulatedCards::SimulatedCards(const char* selection) {
    if (!selection || !*selection) return;
    SimSourceFactories factories;
    // Replayed logs are read with the program's own log grammar.
    factories.logLine = [](char* line, CANframe& frame) {
        return QuillonLogParser().Parse(line, frame);
    };
    emulated = EmulatedDriver::Create(selection, factories);
}
