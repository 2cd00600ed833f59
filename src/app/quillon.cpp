#include "app/quillon.h"

#include <cstdio>

#include "app/cmd_line.h"
#include "decode/canopen_parser.h"
#include "decode/parser.h"
#include "filter/filter_logic.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "ui/config_dialog.h"
#include "ui/filt_dialog.h"
#include "ui/net_dialog.h"

namespace {
constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 6;
}  // namespace

const char* Quillon::getVersion() {
    static char version[80];
    std::snprintf(version, sizeof version, "%d.%02d", kVersionMajor, kVersionMinor);
    return version;
}

Quillon::Quillon() : filter(std::make_unique<FilterLogic>()) {}

Quillon::~Quillon() {
    readMgr.StopAll();
}

void Quillon::SetParserMode(ParseMode mode) {
    if (mode == parseMode) return;
    parser.reset();
    if (msgStore) msgStore->Clear();
    if (mode == PARSE_CANOPEN) {
        parser = std::make_unique<CANopenParser>();
        parseMode = PARSE_CANOPEN;
    } else {
        parser = std::make_unique<Parser>();
        parseMode = PARSE_RAW;
    }
}

void Quillon::SetFilter(std::unique_ptr<FilterLogic> replacement) {
    {
        MutexLock hold(mutex);
        filter.swap(replacement);
    }
    if (filtStore) filtStore->Reset();
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
