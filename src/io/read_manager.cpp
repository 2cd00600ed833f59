#include "io/read_manager.h"

#include <atomic>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "base/quillon_error.h"
#include "base/thread_priority.h"
#include "base/utils.h"
#include "io/log_notices.h"
#include "io/log_reader.h"
#include "io/merge_stage.h"
#include "store/msg_store.h"
#include "store/port_opener.h"

namespace {
constexpr int kBatch = 64;
}  // namespace

// A reader thread: pulls frames from one source and adds them to the message store until the
// source ends, fails, or the reader is stopped.
class Reader {
  public:
    using Delivery = std::function<void(const CANframe* frames, int n)>;

    // Starts the thread, at real-time priority where the system allows it. deliver: takes the
    // frames read, n at a time, to the store. ended: called on the thread when the source has
    // reported its end, before notices (may be null) hears of it. source: what notices of its
    // faults call it ("Port 2", a file's path).
    // Throws std::system_error when no thread can be started.
    Reader(std::unique_ptr<FrameProducer> producer, std::string source, Delivery deliver,
           LogNotices* notices, std::function<void()> ended)
        : producer(std::move(producer)),
          source(std::move(source)),
          deliver(std::move(deliver)),
          notices(notices),
          ended(std::move(ended)),
          thread(&Reader::Run, this) {
        SetRealTimePriority(thread, kWorkerPriority);
    }
    // Stops the thread and waits until it has ended, then deletes the source.
    ~Reader() {
        Stop();
        thread.join();
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Tells the thread to stop after the frames in hand and wakes its source's wait; returns at
    // once.
    void Stop() {
        stopping = true;
        producer->Interrupt();
    }

  private:
    void Run() {
        // Frames are stored in small batches, each under one hold of the store: a file gives
        // them faster than the store's locking would take them one at a time.
        std::vector<CANframe> batch(kBatch);
        std::string fault;  // the last one told, until frames come again
        while (!stopping) {
            try {
                const int n = producer->getNextFrames(batch.data(), kBatch);
                if (n > 0) deliver(batch.data(), n);
                if (n > 0 && !fault.empty()) {
                    fault.clear();
                    Tell("receiving again");
                }
            } catch (const QuillonError& e) {
                // A bad read (an interface taken down, a card's error): told, then the next one.
                if (e.message != fault) Tell(e.message);
                fault = e.message;
            } catch (const EndOfFileException&) {
                ended();
                if (notices) notices->LogReadDone();
                return;
            } catch (const std::exception&) {
                return;  // anything else ends the thread
            }
        }
    }

    void Tell(const std::string& what) {
        if (notices) notices->ReadFault(source + ": " + what);
    }

    const std::unique_ptr<FrameProducer> producer;
    const std::string source;
    const Delivery deliver;
    LogNotices* const notices;
    const std::function<void()> ended;
    std::atomic<bool> stopping{false};
    std::thread thread;  // last: it runs from construction, with everything above in place
};

ReadManager::ReadManager(LogNotices* notices, PortOpener* ports) : notices(notices), ports(ports) {}

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

int ReadManager::AddReader(std::unique_ptr<FrameProducer> producer, const std::string& source) {
    std::unique_ptr<Reader>
        finished;  // deleted after the lock is released, as it is declared first
    std::lock_guard<std::mutex> hold(lock);
    const int slot = TakeSlot(finished);
    Start(slot, std::move(producer), source, -1);
    return slot;
}

int ReadManager::TakeSlot(std::unique_ptr<Reader>& finished) {
    if (!store) throw QuillonError(13, "No message store to read into");
    int slot = 0;
    while (slot < kMaxReaders && slots[slot].reader) slot++;
    if (slot == kMaxReaders) {
        slot = 0;
        while (slot < kMaxReaders && (!slots[slot].ended || slots[slot].waiters > 0)) slot++;
        if (slot == kMaxReaders) throw QuillonError(13, "Too many message readers alreay open");
        // Its thread has left the lock for good (the source's end was its last use of it); it is
        // joined by the caller without the lock.
        finished = std::move(slots[slot].reader);
        slots[slot] = Slot();
    }
    return slot;
}

void ReadManager::Start(int slot, std::unique_ptr<FrameProducer> producer,
                        const std::string& source, int mergeSource) {
    const uint64_t serial = nextSerial++;
    Reader::Delivery deliver;
    if (mergeSource >= 0) {
        // The stage outlives the reader: StopAll ends the readers before it.
        deliver = [stage = merge.get(), mergeSource](const CANframe* frames, int n) {
            stage->Add(mergeSource, frames, n);
        };
    } else {
        deliver = [target = store](const CANframe* frames, int n) { target->Add(frames, n); };
    }
    try {
        slots[slot].reader =
            std::make_unique<Reader>(std::move(producer), source, std::move(deliver), notices,
                                     [this, serial] { SourceEnded(serial); });
    } catch (const std::system_error&) {
        throw QuillonError(13, Format("Error %d creating reader thread\n", ERR_SYSTEM));
    }
    slots[slot].serial = serial;
    slots[slot].ended = false;
    slots[slot].log = nullptr;
}

void ReadManager::SourceEnded(uint64_t serial) {
    {
        std::lock_guard<std::mutex> hold(lock);
        for (Slot& s : slots)
            if (s.reader && s.serial == serial) s.ended = true;
    }
    readerEnded.notify_all();
}

LogReadReport ReadManager::ReadLogFile(const std::string& path, bool wait, LogFormat format) {
    std::unique_ptr<LogReader> log = OpenLogFile(path, format);
    // Owned by the reader, which stays while this call waits on its slot (or until StopAll).
    const LogReader* counted = log.get();
    std::unique_ptr<Reader>
        finished;  // deleted after the lock is released, as it is declared first
    std::unique_lock<std::mutex> hold(lock);
    const int slot = TakeSlot(finished);
    Start(slot, std::move(log), path, -1);
    slots[slot].log = counted;
    if (!wait) return {};
    const uint64_t serial = slots[slot].serial;
    // The lock is free while waiting. The reader cannot be deleted unseen: a new reader does not
    // take a slot that is waited on, and StopAll empties the slot (waiters too) first.
    slots[slot].waiters++;
    hold.unlock();
    finished.reset();
    hold.lock();
    readerEnded.wait(hold, [&] { return slots[slot].serial != serial || slots[slot].ended; });
    if (slots[slot].serial != serial) return LogReadReport();
    slots[slot].waiters--;
    return counted->Report();
}

void ReadManager::ReadCanIntf(int portNum, int bitRateCode) {
    if (!ports) throw QuillonError(13, "No CAN card driver to read from");
    std::unique_ptr<FrameProducer> port = ports->OpenPort(portNum, bitRateCode, startTime);
    std::unique_ptr<Reader>
        finished;  // deleted after the lock is released, as it is declared first
    std::lock_guard<std::mutex> hold(lock);
    const int slot = TakeSlot(finished);
    if (!merge) {
        try {
            merge = std::make_unique<MergeStage>(*store);
        } catch (const std::system_error&) {
            throw QuillonError(13, Format("Error %d creating reader thread\n", ERR_SYSTEM));
        }
        lateFrames = 0;
    }
    Start(slot, std::move(port), Format("Port %d", portNum), merge->AddSource());
    readingPorts = true;
}

int64_t ReadManager::PortClock() {
    std::lock_guard<std::mutex> hold(lock);
    return readingPorts ? static_cast<int64_t>(GetTime() - startTime) : -1;
}

uint64_t ReadManager::DroppedLines() {
    std::lock_guard<std::mutex> hold(lock);
    uint64_t dropped = 0;
    for (const Slot& s : slots)
        if (s.reader && s.log) dropped += s.log->Report().droppedLines;
    return dropped;
}

uint64_t ReadManager::LateFrames() {
    std::lock_guard<std::mutex> hold(lock);
    return merge ? merge->LateFrames() : lateFrames;
}

void ReadManager::StopAll() {
    std::unique_ptr<Reader> stopping[kMaxReaders];
    std::unique_ptr<MergeStage> merged;
    {
        std::lock_guard<std::mutex> hold(lock);
        for (int i = 0; i < kMaxReaders; i++) {
            stopping[i] = std::move(slots[i].reader);
            slots[i] = Slot();
        }
        merged = std::move(merge);
        if (merged) lateFrames = merged->LateFrames();
        readingPorts = false;
    }
    readerEnded.notify_all();  // a ReadLogFile waiting for one of them returns
    // Every reader is told first, so that the port readers finish their last reads together
    // rather than one read time-out after another. They are waited for without the lock, which
    // a reader takes when its source ends.
    for (auto& reader : stopping)
        if (reader) reader->Stop();
    for (auto& reader : stopping) reader.reset();
    // The port readers are gone: what the merge holds is stored, every frame they read.
    if (!merged) return;
    merged->Finish();
    std::lock_guard<std::mutex> hold(lock);
    if (!merge) lateFrames = merged->LateFrames();  // unless ports are read again already
}
