#include "app/quillon.h"

#include <cstdio>

#include "app/cmd_line.h"
#include "decode/canopen_parser.h"
#include "decode/parser.h"
#include "filter/filter_logic.h"
#include "store/filt_store.h"
#include "store/msg_store.h"

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

void Quillon::CreateStores(int capacity) {
    readMgr.SetStore(nullptr);
    // A decoder reads the store it was made for: one is made anew for the new store.
    const ParseMode mode = parseMode;
    parser.reset();
    parseMode = PARSE_NONE;
    filtStore.reset();
    msgStore = std::make_unique<MsgStore>(capacity);
    filtStore = std::make_unique<FiltStore>(*msgStore, *this);
    readMgr.SetStore(msgStore.get());
    if (mode != PARSE_NONE) SetParserMode(mode);
}

void Quillon::SetParserMode(ParseMode mode) {
    if (mode == parseMode) return;
    if (msgStore) msgStore->SetScanner(nullptr);
    parser.reset();
    if (msgStore) msgStore->Clear();
    if (mode == PARSE_CANOPEN) {
        parser = std::make_unique<CANopenParser>(msgStore.get(), &netConfig);
        parseMode = PARSE_CANOPEN;
    } else {
        parser = std::make_unique<Parser>();
        parseMode = PARSE_RAW;
    }
    if (msgStore) msgStore->SetScanner(parser.get());
}

bool Quillon::Passes(const CANframe& frame) {
    return filter->Match(frame);
}

void Quillon::LogReadDone() {
    if (mainFrame) mainFrame->LogReadDone();
}

void Quillon::LogWriteDone() {
    if (mainFrame) mainFrame->LogWriteDone();
}

void Quillon::SetFilter(std::unique_ptr<FilterLogic> replacement,
                        const std::function<void()>& progress) {
    {
        MutexLock hold(mutex);
        filter.swap(replacement);
    }
    if (filtStore) filtStore->Reset(progress);
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
