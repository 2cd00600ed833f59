#include "app/quillon.h"

#include <cstdio>

#include "app/cmd_line.h"

namespace {
constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 6;
}  // namespace

const char* Quillon::getVersion() {
    static char version[80];
    std::snprintf(version, sizeof version, "%d.%02d", kVersionMajor, kVersionMinor);
    return version;
}

void Quillon::SetParserMode(ParseMode mode) {
    if (mode == parseMode) return;
    parseMode = mode == PARSE_CANOPEN ? PARSE_CANOPEN : PARSE_RAW;
}

bool Quillon::IsClient() const {
    return cmdLine.client && !cmdLine.server;
}

uint16_t Quillon::serverPort() const {
    return cmdLine.port;
}

std::string Quillon::serverName() const {
    return cmdLine.serverName;
}
