#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "io/log_format.h"
#include "io/log_reader.h"
#include "store/frame_producer.h"

class LogNotices;
class MergeStage;
class MsgStore;
class PortOpener;
class Reader;

// Owns the reader threads, at most 8 running at a time, which add to the message store it is
// connected to. A reader whose source has ended (a log file read to its end) keeps its slot until
// StopAll or until a new reader needs the slot: then the ended reader is deleted.
//
// Port readers hand their frames to a merge stage (MergeStage), which stores the frames of all
// ports in time-stamp order; a log file's reader adds to the store itself.
//
// `lock` guards the slots (their readers, serial numbers, ended flags, waiters and logs), store,
// merge, lateFrames, readingPorts and nextSerial. It is never held while a reader thread or the
// merge's thread is waited for: a reader takes it when its source ends, and the store's listeners
// may call PortClock while the merge stores. Lock order: lock, then the merge stage's lock.
class ReadManager {
  public:
    static constexpr int kMaxReaders = 8;

    // notices: told when a log file has been read to its end and of readers' faults; ports: opens
    // CAN ports for ReadCanIntf. Either may be null.
    explicit ReadManager(LogNotices* notices = nullptr, PortOpener* ports = nullptr);
    virtual ~ReadManager();
    // The store that readers started from now on add to (null: none may be started). No reader
    // may be running.
    void SetStore(MsgStore* store);
    // Start of reading from ports: port frames are stamped relative to it.
    void SetStartTime();
    // Starts a reader thread for producer in the first free slot, else in the first slot of an
    // ended reader that no ReadLogFile waits on (deleting that reader), and returns the slot;
    // source names it in the notices of its faults. Throws QuillonError 13 when 8 readers are
    // running, the thread cannot be started or there is no store.
    int AddReader(std::unique_ptr<FrameProducer> producer, const std::string& source = "Reader");
    // Replays a log file. With wait, returns once it has been read to its end (or StopAll took its
    // reader), with what the reading lost or found amiss; without, returns an empty report.
    // format: the log's format, Detect to recognise it from the file's first lines.
    LogReadReport ReadLogFile(const std::string& path, bool wait,
                              LogFormat format = LogFormat::Detect);
    // Opens port at bitRateCode and starts a reader for it, its frames stamped
    // relative to startTime. Throws the port's QuillonError when it cannot be opened, 13 as
    // AddReader does.
    void ReadCanIntf(int portNum, int bitRateCode);
    // Ends and deletes every reader: each is told to stop, then waited for; then every port frame
    // they read is stored.
    void StopAll();
    // Port frames stored out of time order since ports were first read after the last StopAll
    // (until the next such read): frames that came later than the merge's window
    // (MergeStage::kWindow) after a newer frame of another port.
    uint64_t LateFrames();
    // Lines of the log files being replayed, or replayed to their end and not yet let go of, that
    // were neither a frame nor text.
    uint64_t DroppedLines();
    // While ports are read: the time now as their frames are stamped (microseconds since
    // startTime), so that what waits for frames can tell silence from a pause; -1 otherwise.
    int64_t PortClock();

    uint64_t startTime = 0;  // GetTime clock

  private:
    struct Slot {
        std::unique_ptr<Reader> reader;
        uint64_t serial = 0;  // of its reader, so that a waiter knows a slot taken again
        bool ended = false;   // its reader's source has ended
        int waiters = 0;      // ReadLogFile calls waiting on it: the slot is not taken meanwhile
        const LogReader* log = nullptr;  // its source when it replays a log file
    };

    // The slot for a new reader, lock held: as AddReader chooses it, throwing as it does. An ended
    // reader whose slot it takes is moved to finished, for the caller to delete once it has
    // released the lock.
    int TakeSlot(std::unique_ptr<Reader>& finished);
    // Starts a reader in slot, lock held. mergeSource: the reader's source in merge, where it hands
    // its frames; -1 for one that adds to the store itself.
    void Start(int slot, std::unique_ptr<FrameProducer> producer, const std::string& source,
               int mergeSource);
    // Called on a reader's thread when its source has ended.
    void SourceEnded(uint64_t serial);

    LogNotices* const notices;
    PortOpener* const ports;
    std::mutex lock;
    std::condition_variable readerEnded;  // a source ended, or StopAll emptied the slots
    MsgStore* store = nullptr;
    // While ports are read: their frames on their way to the store, in time-stamp order.
    std::unique_ptr<MergeStage> merge;
    uint64_t lateFrames = 0;    // of the last merge ended
    bool readingPorts = false;  // a port was opened since the last StopAll
    Slot slots[kMaxReaders];
    uint64_t nextSerial = 1;
};
