#include "io/log_writer.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "base/quillon_error.h"
#include "base/thread_priority.h"
#include "base/utils.h"
#include "io/log_notices.h"
#include "store/msg_store.h"

LogWriter::LogWriter(const std::string& file, bool live, MsgStore& source, LogNotices* doneNotices,
                     LogFormat format, WriterPace pace)
    : store(source),
      notices(doneNotices),
      path(file),
      live(live),
      pace(pace),
      formatWriter(CreateLogFormatWriter(format)),
      closeReq(!live) {
    fp = std::fopen(path.c_str(), "w");
    if (!fp) throw QuillonError(12, "Unable to open log file: " + path);
    formatWriter->Begin(fp);
    StoreIndex first = 0, last = 0;
    store.GetTotal(&first, &last);
    heldEnd = last + 1;
    // A live writer joins the store's frames: it is handed every frame from heldEnd on (frames
    // stored since GetTotal are still in the ring, and written from there).
    if (live) {
        store.AddTally(this);
        store.AddArrivalWatcher(this);
    }
    try {
        thread = std::thread([this, first] {
            WriteHeld(first, heldEnd);
            Run();
        });
    } catch (const std::system_error&) {
        if (live) {
            store.DelArrivalWatcher(this);
            store.RemoveTally(this);
        }
        std::fclose(fp);
        throw QuillonError(
            11,
            Format("Error code (%d) retruned when trying to create logging thread", ERR_SYSTEM));
    }
    SetRealTimePriority(thread, kWorkerPriority);
}

LogWriter::~LogWriter() {
    CloseLog();
    thread.join();
}

void LogWriter::Joined(StoreIndex next) {
    heldEnd = next;  // within AddTally, before the thread starts
}

bool LogWriter::QueueFull() const {
    return queue.size() >= kQueueFrames || queueBytes >= kQueueBytes;
}

void LogWriter::RunStarts() {
    lock.lock();
}

void LogWriter::Count(StoreIndex, const CANframe& frame) {
    if (stopped) return;  // stored after the file was closed: no part of it
    if (failed || (pace == WriterPace::Drop && QueueFull())) {
        unwritten++;
        if (!failed && !lagged) lagged = toTell = true;
        return;
    }
    queue.push_back(frame);
    queueBytes += sizeof frame + frame.TextBytes();
}

void LogWriter::RunEnds() {
    const bool look = !queue.empty() || toTell;
    lock.unlock();
    if (look) wake.notify_one();
}

void LogWriter::FramesComing() {
    if (pace != WriterPace::Hold) return;
    std::unique_lock<std::mutex> hold(lock);
    room.wait(hold, [this] { return heldWritten || stopped || failed; });
}

void LogWriter::FramesArrived(StoreIndex) {
    if (pace != WriterPace::Hold) return;
    std::unique_lock<std::mutex> hold(lock);
    room.wait(hold, [this] { return !QueueFull() || stopped || failed; });
}

void LogWriter::WriteHeld(StoreIndex from, StoreIndex to) {
    CANframe frame;
    uint64_t pending = 0;  // written since the last flush
    for (StoreIndex index = from; index < to; index++) {
        if (store.Get(index, frame) && Write(frame)) {
            if (++pending == kHeldFlushFrames) {
                Flush(pending);
                pending = 0;
            }
            continue;
        }
        // Overwritten before the writer reached it, or not written as a write failed: then the
        // frames handed to the C library since the last flush may not have reached the file.
        std::lock_guard<std::mutex> hold(lock);
        unwritten += 1 + (failed ? pending : 0);
        if (failed) pending = 0;
    }
    Flush(pending);
    {
        std::lock_guard<std::mutex> hold(lock);
        heldWritten = true;
    }
    room.notify_all();
}

bool LogWriter::Write(const CANframe& frame) {
    if (failed) return false;
    if (!formatWriter->Carries(frame)) {
        std::lock_guard<std::mutex> hold(lock);
        leftOut++;
        return true;
    }
    formatWriter->Write(frame, fp);
    if (!std::ferror(fp)) return true;
    Fail(0);
    return false;
}

void LogWriter::Fail(uint64_t lost) {
    const char* reason = std::strerror(errno);
    {
        std::lock_guard<std::mutex> hold(lock);
        if (error.empty()) error = reason;
        unwritten += lost;
        if (!failed) {
            failed = true;
            toTell = true;
            unwritten += queue.size();
            queue.clear();
            queueBytes = 0;
        }
    }
    room.notify_all();
}

bool LogWriter::Flush(uint64_t written) {
    // A full disk shows now, not at the close. The frames handed to the C library since the
    // last flush may have reached the file in part: all of them are counted as lost.
    if (failed) return false;
    if (std::fflush(fp) == 0 && !std::ferror(fp)) return true;
    Fail(written);
    return false;
}

void LogWriter::Tell() {
    std::vector<std::string> messages;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!toTell) return;
        toTell = false;
        if (lagged && !lagTold) {
            lagTold = true;
            messages.push_back("writing " + path + " falls behind: frames are left out of it");
        }
        if (failed && !failTold) {
            failTold = true;
            messages.push_back("cannot write " + path + ": " + error);
        }
    }
    if (notices)
        for (const std::string& message : messages) notices->LogWriteFault(message);
}

void LogWriter::Run() {
    std::vector<CANframe> batch;
    for (;;) {
        // The close request is read with the queue it is taken with: every frame stored before
        // CloseLog is in it.
        bool closeAsked;
        {
            std::unique_lock<std::mutex> hold(lock);
            wake.wait(hold, [this] { return !queue.empty() || closeReq || toTell; });
            batch.swap(queue);
            queueBytes = 0;
            closeAsked = closeReq;
        }
        room.notify_all();
        size_t done = 0;
        while (done < batch.size() && Write(batch[done])) done++;
        if (done < batch.size()) {
            // The frames before the failed one may not have reached the file either.
            std::lock_guard<std::mutex> hold(lock);
            unwritten += batch.size();
        } else if (done > 0) {
            Flush(done);
        }
        batch.clear();
        Tell();
        if (closeAsked) break;
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        stopped = true;
    }
    room.notify_all();  // a Hold adder waiting with the store's ingest held goes on first
    // The store may go once the file is closed: it tells this writer nothing more.
    if (live) {
        store.DelArrivalWatcher(this);
        store.RemoveTally(this);
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!failed) formatWriter->End(fp);
        if (std::ferror(fp) && error.empty()) error = std::strerror(errno);
        if (std::fclose(fp) != 0 && error.empty()) error = std::strerror(errno);
        fp = nullptr;
    }
    Tell();
    // After the close, so that whoever hears of it sees the file whole, or its error.
    if (notices) notices->LogWriteDone();
    {
        std::lock_guard<std::mutex> hold(lock);
        closed = true;
    }
    closing.notify_all();
}

void LogWriter::CloseLog() {
    {
        std::lock_guard<std::mutex> hold(lock);
        closeReq = true;
    }
    wake.notify_one();
}

void LogWriter::WaitDone() {
    std::unique_lock<std::mutex> hold(lock);
    closing.wait(hold, [this] { return closed; });
}

bool LogWriter::Done() {
    std::lock_guard<std::mutex> hold(lock);
    return closed;
}

void LogWriter::WaitHeld() {
    std::unique_lock<std::mutex> hold(lock);
    room.wait(hold, [this] { return heldWritten; });
}

bool LogWriter::HeldDone() {
    std::lock_guard<std::mutex> hold(lock);
    return heldWritten;
}

uint64_t LogWriter::Unwritten() {
    std::lock_guard<std::mutex> hold(lock);
    return unwritten;
}

std::string LogWriter::WriteError() {
    std::lock_guard<std::mutex> hold(lock);
    if (!error.empty()) return error;
    if (unwritten)
        return Format("%llu frames not written: the writing did not keep up with them",
                      static_cast<unsigned long long>(unwritten));
    return leftOut ? LeftOutMessage(leftOut) : "";
}
