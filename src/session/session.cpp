#include "session/session.h"

#include <algorithm>

#include "decode/canopen_parser.h"
#include "decode/parser.h"
#include "store/filt_store.h"
#include "store/msg_store.h"

Session::Session(PortOpener* ports, Cards* cards, int capacity)
    : selection(cards), readMgr(this, ports) {
    CreateStores(capacity);
}

Session::~Session() {
    StopAll();
}

void Session::CreateStores(int capacity, StoreIndex start) {
    StopWriting(true);
    readMgr.SetStore(nullptr);
    // A decoder reads the store it was made for: one is made anew for the new store.
    const ParseMode chosen = mode;
    parser.reset();
    for (SeriesFeed* feed : feeds) feed->SetDecoder(nullptr);
    mode = PARSE_NONE;
    filtered.reset();
    messages = std::make_unique<MsgStore>(capacity, start);
    messages->AddTally(&allStatus);
    for (SeriesFeed* feed : feeds) {
        feed->Restart();
        messages->AddTally(feed);
    }
    filtered = std::make_unique<FiltStore>(*messages, display);
    readMgr.SetStore(messages.get());
    if (chosen != PARSE_NONE) SetParserMode(chosen);
}

void Session::SetParserMode(ParseMode chosen) {
    if (chosen == mode) return;
    WaitWritingHeld();
    messages->SetDecoder(nullptr);
    parser.reset();
    messages->Clear();
    if (chosen == PARSE_CANOPEN) {
        parser = std::make_unique<CANopenParser>(messages.get(), &netConfig);
        mode = PARSE_CANOPEN;
    } else {
        parser = std::make_unique<Parser>();
        mode = PARSE_RAW;
    }
    messages->SetDecoder(parser.get());
    auto* canopen = dynamic_cast<CANopenParser*>(parser.get());
    allStatus.SetDecoder(canopen);
    passedStatus.SetDecoder(canopen);
    for (SeriesFeed* feed : feeds) feed->SetDecoder(parser.get());
}

void Session::AttachFeed(SeriesFeed* feed) {
    feed->SetDecoder(parser.get());
    feeds.push_back(feed);
    messages->AddTally(feed);
}

void Session::DetachFeed(SeriesFeed* feed) {
    messages->RemoveTally(feed);
    feeds.erase(std::remove(feeds.begin(), feeds.end(), feed), feeds.end());
}

void Session::FollowFilteredStatus(bool follow, const std::function<void()>& progress) {
    filtered->SetTally(follow ? &passedStatus : nullptr);
    if (follow) filtered->Reset(progress);
}

bool Session::CarriesObject(const CANframe& frame, const std::function<bool(uint32_t)>& test) {
    return parser && parser->CarriesObject(frame, test);
}

void Session::SetFilter(std::unique_ptr<FilterLogic> replacement,
                        const std::function<void()>& progress, const std::string& expression) {
    display.Replace(std::move(replacement));
    filterExpression = expression;
    filtered->Reset(progress);
}

void Session::StartWriting(const std::string& path, bool live, LogFormat format, WriterPace pace) {
    LogNotices* self = this;
    writer = std::make_unique<LogWriter>(path, live, *messages, self, format, pace);
    captureWritten = origin == StoreOrigin::kCapture;
    savePath = path;
}

void Session::StopWriting(bool wait) {
    if (!writer) return;
    writer->CloseLog();
    if (wait) writer->WaitDone();
}

void Session::WaitWritingHeld() {
    if (writer) writer->WaitHeld();
}

bool Session::WritingPending(bool whole) {
    return writer && !(whole ? writer->Done() : writer->HeldDone());
}

std::string Session::WriteError() {
    return writer ? writer->WriteError() : "";
}

uint64_t Session::Unwritten() {
    return writer ? writer->Unwritten() : 0;
}

void Session::RefillStore(StoreOrigin from) {
    StopWriting(true);
    messages->Clear();
    origin = from;
    captureWritten = false;
}

void Session::ClearStore() {
    WaitWritingHeld();
    messages->Clear();
}

bool Session::Unsaved() {
    if (origin != StoreOrigin::kCapture || messages->GetTotal(nullptr, nullptr) == 0) return false;
    return !captureWritten || !WriteError().empty();
}

void Session::StopAll() {
    readMgr.StopAll();
    StopWriting(true);
}

void Session::LogReadDone() {
    if (LogNotices* listener = notices) listener->LogReadDone();
}

void Session::ReadFault(const std::string& message) {
    if (LogNotices* listener = notices) listener->ReadFault(message);
}

void Session::LogWriteFault(const std::string& message) {
    if (LogNotices* listener = notices) listener->LogWriteFault(message);
}

void Session::LogWriteDone() {
    if (LogNotices* listener = notices) listener->LogWriteDone();
}
