#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/threads_posix.h"
#include "io/log_format.h"
#include "store/frame_producer.h"

class LogNotices;
class MsgStore;
class PortOpener;

// A reader thread: pulls frames from one source and adds them to the message store.
class Reader : public Thread {
  public:
    // notices: told when a log file has been read to its end; may be null.
    Reader(std::unique_ptr<FrameProducer> producer, MsgStore& store, LogNotices* notices);
    // Ends the loop and waits until the thread has left it, then deletes the source.
    ~Reader() override;
    void run() override;

    std::unique_ptr<FrameProducer> producer;
    std::atomic<bool> done{false};     // the source reported its end
    std::atomic<bool> stop{false};     // set by the destructor
    std::atomic<bool> running{false};  // from start() until the loop has ended
    Semaphore finished;                // put once, when done is set

  private:
    MsgStore& store;
    LogNotices* notices;
};

// Owns the reader threads, at most 8 at a time, which add to the message store it is connected
// to.
class ReadManager {
  public:
    static constexpr int kMaxReaders = 8;

    // notices: told when a log file has been read to its end; ports: opens CAN ports for
    // ReadCanIntf. Either may be null.
    explicit ReadManager(LogNotices* notices = nullptr, PortOpener* ports = nullptr)
        : notices(notices), ports(ports) {}
    virtual ~ReadManager();
    // The store that readers started from now on add to (null: none may be started). No reader
    // may be running.
    void SetStore(MsgStore* store);
    // Start of reading from ports: port frames are stamped relative to it.
    void SetStartTime();
    // Starts a reader thread for producer in the first free slot and returns the slot.
    // Throws QuillonError 13 when all slots are taken, the thread cannot be started or there is
    // no store.
    int AddReader(std::unique_ptr<FrameProducer> producer);
    // Replays a log file. With wait, returns once it has been read to its end, with the number
    // of lines that were neither a frame nor text (blank lines aside); without, returns 0.
    // format: the log's format, Detect to recognise it from the file's first lines.
    uint64_t ReadLogFile(const std::string& path, bool wait, LogFormat format = LogFormat::Detect);
    // Opens port at bit-rate code baud and starts a reader for it, its frames stamped
    // relative to startTime. Throws the port's QuillonError when it cannot be opened, 13 as
    // AddReader does.
    void ReadCanIntf(int portNum, int baud);
    // Ends and deletes every reader.
    void StopAll();

    uint32_t startTime = 0;

  private:
    LogNotices* const notices;
    PortOpener* const ports;
    std::mutex lock;  // guards readers and store
    MsgStore* store = nullptr;
    std::unique_ptr<Reader> readers[kMaxReaders];
};
