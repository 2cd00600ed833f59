// Fuzz target: any bytes as a asc log, read the way a replay reads it, and every entry decoded.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "decode/parser.h"
#include "io/asc_log_reader.h"
#include "io/log_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!fp) return 0;
    LogReader reader(fp, std::make_unique<AscLogParser>());
    Parser parser;
    CANframe frame;
    try {
        for (;;) {
            if (!reader.getNextFrame(frame)) continue;
            parser.GetShortDesc(frame);
            delete parser.Parse(frame);
        }
    } catch (const EndOfFileException&) {
    }
    return 0;
}
