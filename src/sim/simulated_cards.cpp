#include "sim/simulated_cards.h"

#include <memory>

#include "io/log_format.h"

SimulatedCards::SimulatedCards(const char* selection) {
    if (!selection || !*selection) return;
    SimSourceFactories factories;
    // Replayed logs are read in the format they show, as log files are.
    factories.logLine = [](const char* head, size_t size) -> LogLineParser {
        std::shared_ptr<LogParser> parser = CreateLogParser(DetectLogFormat(head, size));
        return [parser](char* line, CANframe& frame) { return parser->Parse(line, frame); };
    };
    emulated = EmulatedDriver::Create(selection, factories);
}
