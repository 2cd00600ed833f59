#include "io/read_manager.h"

#include <exception>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "io/log_notices.h"
#include "io/log_reader.h"
#include "store/msg_store.h"
#include "store/port_opener.h"

namespace {
constexpr int kBatch = 64;
}  // namespace

Reader::Reader(std::unique_ptr<FrameProducer> producer, MsgStore& store, LogNotices* notices)
    : producer(std::move(producer)), store(store), notices(notices) {}

Reader::~Reader() {
    stop = true;
    while (running) Thread::sleep(10);
    producer.reset();
}

void Reader::run() {
    // Frames are stored in small batches, each under one hold of the store: a file gives them
    // faster than the store's locking would take them one at a time.
    std::vector<CANframe> batch(kBatch);
    while (!stop) {
        if (done) {
            Thread::sleep(50);
            continue;
        }
        try {
            const int n = producer->getNextFrames(batch.data(), kBatch);
            if (n > 0) store.Add(batch.data(), n);
        } catch (const QuillonError&) {
            // A bad read or a full source: go on with the next one.
        } catch (const EndOfFileException&) {
            done = true;
            finished.Put();
            if (notices) notices->LogReadDone();
        } catch (const std::exception&) {
            break;  // anything else ends the thread
        }
    }
    running = false;
}

ReadManager::~ReadManager() {
    StopAll();
}

void ReadManager::SetStartTime() {
    startTime = GetTime();
}

void ReadManager::SetStore(MsgStore* target) {
    std::lock_guard<std::mutex> hold(lock);
    store = target;
}

int ReadManager::AddReader(std::unique_ptr<FrameProducer> producer) {
    std::lock_guard<std::mutex> hold(lock);
    if (!store) throw QuillonError(13, "No message store to read into");
    int slot = 0;
    while (slot < kMaxReaders && readers[slot]) slot++;
    if (slot == kMaxReaders) throw QuillonError(13, "Too many message readers alreay open");
    auto reader = std::make_unique<Reader>(std::move(producer), *store, notices);
    // Running from before the start, so that a destructor never misses a thread about to run.
    reader->running = true;
    int rc = reader->start();
    if (rc != 0) {
        reader->running = false;
        throw QuillonError(13, Format("Error %d creating reader thread\n", rc));
    }
    readers[slot] = std::move(reader);
    return slot;
}

uint64_t ReadManager::ReadLogFile(const std::string& path, bool wait, LogFormat format) {
    std::unique_ptr<LogReader> log = OpenLogFile(path, format);
    const LogReader* counted = log.get();  // owned by the reader, which stays until StopAll
    int slot = AddReader(std::move(log));
    if (!wait) return 0;
    // Looked at every 100 ms, and at once when the reader says it is done. The lock is held
    // while waiting, so that no StopAll deletes the reader meanwhile.
    for (;;) {
        std::lock_guard<std::mutex> hold(lock);
        if (!readers[slot]) return 0;
        if (readers[slot]->done) return counted->DroppedLines();
        readers[slot]->finished.Get(100);
    }
}

void ReadManager::ReadCanIntf(int portNum, int baud) {
    if (!ports) throw QuillonError(13, "No CAN card driver to read from");
    AddReader(ports->OpenPort(portNum, baud, startTime));
}

void ReadManager::StopAll() {
    std::lock_guard<std::mutex> hold(lock);
    // Every reader is told first, so that the port readers finish their last reads together
    // rather than one read time-out after another.
    for (auto& reader : readers)
        if (reader) reader->stop = true;
    for (auto& reader : readers) reader.reset();
}
