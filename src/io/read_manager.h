#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "app/threads_posix.h"
#include "io/frame_producer.h"

// A reader thread: pulls frames from one source and adds them to the message store.
class Reader : public Thread {
  public:
    explicit Reader(std::unique_ptr<FrameProducer> producer);
    // Ends the loop and waits until the thread has left it, then deletes the source.
    ~Reader() override;
    void run() override;

    std::unique_ptr<FrameProducer> producer;
    std::atomic<bool> done{false};     // the source reported its end
    std::atomic<bool> stop{false};     // set by the destructor
    std::atomic<bool> running{false};  // from start() until the loop has ended
};

// Owns the reader threads, at most 8 at a time.
class ReadManager {
  public:
    static constexpr int kMaxReaders = 8;

    virtual ~ReadManager();
    // Start of reading from ports: port frames are stamped relative to it.
    void SetStartTime();
    // Starts a reader thread for producer in the first free slot and returns the slot.
    // Throws QuillonError 13 when all slots are taken or the thread cannot be started.
    int AddReader(std::unique_ptr<FrameProducer> producer);
    // Replays a log file; with wait, returns once it has been read to its end.
    void ReadLogFile(const std::string& path, bool wait);
    // Ends and deletes every reader.
    void StopAll();

    uint32_t startTime = 0;

  private:
    Mutex lock;  // guards readers
    std::unique_ptr<Reader> readers[kMaxReaders];
};
