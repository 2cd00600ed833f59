#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "io/log_format.h"
#include "io/log_notices.h"
#include "io/log_writer.h"
#include "io/read_manager.h"
#include "netcfg/network_config.h"
#include "plot/series_feed.h"
#include "session/display_filter.h"
#include "session/parse_mode.h"
#include "session/port_selection.h"
#include "status/network_status.h"
#include "store/frame_objects.h"

class Cards;
class FiltStore;
class MsgStore;
class Parser;
class PortOpener;

// Where the frames of the message store come from, which decides whether losing them loses
// anything: a log file still holds what was opened from it, nothing holds a capture until it is
// saved.
enum class StoreOrigin {
    kFile,     // opened from a log file, or nothing yet
    kCapture,  // read from CAN ports
};

// A capture session: what the windows and quillon-dump show and drive. It owns the message store,
// the filtered view over it with the display filter, the decoder, the reader threads, the log
// writer, the network configuration and the port selection, and wires them together. The program's
// entry points make one and hand it, or the parts of it they need, to whatever they build.
//
// Destroyed in reverse order of the members: the readers and the log writer stop before the stores
// and the decoder they use go away, the filtered view before the message store it listens to, both
// before the filter.
class Session : private LogNotices, public FrameObjects {
  public:
    // ports: opens the CAN ports that readers read; null when none can be read. cards: whose
    // ports the port selection lists; null when there are none. Both outlive the session.
    // capacity: of the message store (CreateStores).
    Session(PortOpener* ports, Cards* cards, int capacity);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Creates the message store with capacity frames and the filtered view over it, and connects
    // them to the filter and the readers, and to a decoder of the mode already chosen; a log
    // writer of the old store first finishes (StopWriting). Not while readers add frames. start:
    // the store's first index (MsgStore), 0 but for tests.
    void CreateStores(int capacity, StoreIndex start = 0);

    // Selects the decoder (raw for anything but PARSE_CANOPEN), makes it the store's decoder and
    // clears the message store (as ClearStore). Not while readers add frames.
    void SetParserMode(ParseMode mode);
    ParseMode parserMode() const { return mode; }

    // Installs filter as the display filter and rebuilds the filtered view with it (GUI thread);
    // progress as for FiltStore::Reset. expression: the filter as the user wrote it.
    void SetFilter(std::unique_ptr<FilterLogic> filter,
                   const std::function<void()>& progress = nullptr,
                   const std::string& expression = "");
    // The display filter's expression as the user wrote it; "" for none (GUI thread).
    const std::string& FilterExpression() const { return filterExpression; }

    // Who hears that a replay ended, that a reader met a fault, or that the log writer closes its
    // file (the main window, quillon-dump's capture); null for nobody. Told on the reader's or
    // writer's thread.
    void SetNotices(LogNotices* listener) { notices = listener; }

    // Starts the log writer on path in format (replacing a finished one): live, it writes every
    // frame stored until StopWriting, at pace (Drop while ports are read, which cannot wait);
    // otherwise it ends once it has written what the store holds. Throws the writer's
    // QuillonError when the file cannot be opened.
    void StartWriting(const std::string& path, bool live, LogFormat format = LogFormat::Quillon,
                      WriterPace pace = WriterPace::Hold);
    // Asks a live log writer to close its file; with wait, returns once it is closed.
    void StopWriting(bool wait);
    // Returns once the log writer has written the frames the store held when it began, which a
    // clear of the store would otherwise replace under it. Any thread, while no writer starts.
    void WaitWritingHeld();
    // Whether clearing the store (whole: refilling it, StopWriting first) would wait for the log
    // writer; false when there is none.
    bool WritingPending(bool whole);
    // The file of the last StartWriting, "" before the first.
    const std::string& SavePath() const { return savePath; }
    // Why the last log file could not be written whole, "" when it was or there is none.
    std::string WriteError();
    // Frames stored while the last log file was written that it does not hold.
    uint64_t Unwritten();

    // Clears the message store, whose next frames come from origin: Play and Open (GUI thread).
    // The log writer first writes what it was asked to and closes its file (StopWriting): the
    // file never holds frames of two captures.
    void RefillStore(StoreOrigin origin);
    // Clears the message store once the log writer has written the frames it held when it began
    // (WaitWritingHeld); a live writer goes on with the frames stored after (GUI thread).
    void ClearStore();
    // Whether the store holds frames captured from ports that no log file holds: frames stored
    // since the last Play, unless a log writer started after it has written them all without
    // fault (a writer still running counts as holding them). Frames opened from a file, or none,
    // are never unsaved. GUI thread, while no capture runs.
    bool Unsaved();

    // Stops every reader and the log writer, waiting for the file to close.
    void StopAll();

    MsgStore& store() { return *messages; }
    FiltStore& view() { return *filtered; }
    // The current decoder; null before the first SetParserMode.
    Parser* decoder() { return parser.get(); }
    ReadManager& readers() { return readMgr; }
    NetworkConfig& network() { return netConfig; }
    PortSelection& ports() { return selection; }
    DisplayFilter& filter() { return display; }
    // The network status of every frame stored since the last Clear.
    NetworkStatus& status() { return allStatus; }
    // The network status of the frames the display filter passes, kept only while followed
    // (GUI thread): following it rebuilds the filtered view, with progress as for SetFilter, so
    // that it counts the frames the view holds.
    NetworkStatus& filteredStatus() { return passedStatus; }
    void FollowFilteredStatus(bool follow, const std::function<void()>& progress = nullptr);
    // Has feed (a plot's series) fed with every frame stored from now on, decoded by the current
    // decoder, until DetachFeed (GUI thread); not owned.
    void AttachFeed(SeriesFeed* feed);
    void DetachFeed(SeriesFeed* feed);
    // The objects of PDO frames, as the current decoder learned them.
    bool CarriesObject(const CANframe& frame, const std::function<bool(uint32_t)>& test) override;

  private:
    void LogReadDone() override;
    void LogWriteDone() override;
    void ReadFault(const std::string& message) override;
    void LogWriteFault(const std::string& message) override;

    std::atomic<LogNotices*> notices{nullptr};
    // Before the stores that count into them.
    NetworkStatus allStatus;
    NetworkStatus passedStatus;
    DisplayFilter display;
    NetworkConfig netConfig;  // names the objects of SDO transfers
    PortSelection selection;
    ReadManager readMgr;
    std::unique_ptr<MsgStore> messages;
    std::unique_ptr<FiltStore> filtered;  // the frames display passes, over messages
    std::unique_ptr<Parser> parser;       // the current decoder
    ParseMode mode = PARSE_NONE;          // of parser
    std::unique_ptr<LogWriter> writer;    // of the last StartWriting
    std::string savePath;                 // its file
    std::string filterExpression;         // of display; GUI thread
    std::vector<SeriesFeed*> feeds;       // attached; GUI thread

    // What Unsaved() looks at; GUI thread.
    StoreOrigin origin = StoreOrigin::kFile;  // of the store's frames
    bool captureWritten = false;  // a writer started on the capture since the last RefillStore
};
