#pragma once

// What the log reader fuzz targets share: any bytes as a log of one format, read the way a
// replay reads it, and every entry decoded.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>

#include "decode/parser.h"
#include "io/log_parser.h"
#include "io/log_reader.h"

inline int FuzzLogReader(const uint8_t* data, size_t size, std::unique_ptr<LogParser> format) {
    FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!fp) return 0;
    LogReader reader(fp, std::move(format));
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
