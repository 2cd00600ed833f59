// Fuzz target: any bytes as a log file, read the way a replay reads it, and every entry decoded.

#include <memory>

#include "io/log_parser.h"
#include "replay_log_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzLogReader(data, size, std::make_unique<QuillonLogParser>());
}
