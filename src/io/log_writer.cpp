#include "io/log_writer.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "base/quillon_error.h"
#include "base/thread_priority.h"
#include "base/utils.h"
#include "io/log_notices.h"
#include "store/msg_store.h"

LogWriter::LogWriter(const std::string& path, bool live, MsgStore& source, LogNotices* doneNotices,
                     LogFormat format)
    : store(source),
      notices(doneNotices),
      formatWriter(CreateLogFormatWriter(format)),
      closeReq(!live) {
    fp = std::fopen(path.c_str(), "w");
    if (!fp) throw QuillonError(12, "Unable to open log file: " + path);
    formatWriter->Begin(fp);
    store.AddArrivalWatcher(this);
    try {
        thread = std::thread(&LogWriter::Run, this);
    } catch (const std::system_error&) {
        store.DelArrivalWatcher(this);
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

void LogWriter::Write(const CANframe& frame) {
    std::lock_guard<std::mutex> hold(lock);
    if (!fp) throw QuillonError(17, "Attempt to write to a closed log file");
    if (!formatWriter->Carries(frame)) {
        leftOut++;
        return;
    }
    formatWriter->Write(frame, fp);
    CheckWritten();
}

void LogWriter::CheckWritten() {
    if (std::ferror(fp) && error.empty()) error = std::strerror(errno);
}

std::string LogWriter::WriteError() {
    std::lock_guard<std::mutex> hold(lock);
    return error.empty() && leftOut ? LeftOutMessage(leftOut) : error;
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

void LogWriter::FramesArrived(StoreIndex) {
    {
        std::lock_guard<std::mutex> hold(lock);
        arrived = true;
    }
    wake.notify_one();
}

void LogWriter::Run() {
    StoreIndex first, last;
    store.GetTotal(&first, &last);
    StoreIndex written = first - 1;
    CANframe frame;
    for (;;) {
        // The close request is read before the store's end, so that every frame stored before
        // CloseLog is written; frames that arrive after the store's end was read set arrived
        // again, so none is left waiting.
        bool closeAsked;
        {
            std::unique_lock<std::mutex> hold(lock);
            wake.wait(hold, [this] { return arrived || closeReq; });
            arrived = false;
            closeAsked = closeReq;
        }
        store.GetTotal(nullptr, &last);
        while (written < last)
            if (store.Get(++written, frame)) Write(frame);  // a frame overwritten since is skipped
        if (closeAsked) break;
    }
    // The store may go once the file is closed: it tells this writer nothing more.
    store.DelArrivalWatcher(this);
    {
        std::lock_guard<std::mutex> hold(lock);
        formatWriter->End(fp);
        CheckWritten();
        if (std::fclose(fp) != 0 && error.empty()) error = std::strerror(errno);
        fp = nullptr;
    }
    // After the close, so that whoever hears of it sees the file whole, or its error.
    if (notices) notices->LogWriteDone();
    {
        std::lock_guard<std::mutex> hold(lock);
        closed = true;
    }
    closing.notify_all();
}
