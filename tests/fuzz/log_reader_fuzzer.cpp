// Fuzz target: any bytes as a log of the format LOG_FORMAT names (quillon, candump, asc, trc),
// read the way a replay reads it, and every entry decoded.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "decode/parser.h"
#include "io/log_format.h"
#include "io/log_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LogFormat format;
    static const bool named = LogFormatByName(LOG_FORMAT, &format);
    if (!named) std::abort();
    FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!fp) return 0;
    LogReader reader(fp, CreateLogParser(format));
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
