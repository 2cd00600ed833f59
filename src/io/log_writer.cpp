#include "io/log_writer.h"

#include <cerrno>
#include <cstring>

#include "base/quillon_error.h"
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
    running = true;
    int rc = start();
    if (rc != 0) {
        running = false;
        std::fclose(fp);
        throw QuillonError(
            11, Format("Error code (%d) retruned when trying to create logging thread", rc));
    }
}

LogWriter::~LogWriter() {
    if (running) {
        CloseLog();
        WaitDone();
    }
}

void LogWriter::Write(const CANframe& frame) {
    std::lock_guard<std::mutex> hold(lock);
    if (!fp) throw QuillonError(17, "Attempt to write to a closed log file");
    formatWriter->Write(frame, fp);
    CheckWritten();
}

void LogWriter::CheckWritten() {
    if (std::ferror(fp) && error.empty()) error = std::strerror(errno);
}

std::string LogWriter::WriteError() {
    std::lock_guard<std::mutex> hold(lock);
    return error;
}

void LogWriter::CloseLog() {
    std::lock_guard<std::mutex> hold(lock);
    closeReq = true;
}

void LogWriter::WaitDone() {
    while (running) Thread::sleep(100);
}

void LogWriter::run() {
    int first, last;
    store.GetTotal(&first, &last);
    int written = first - 1;
    CANframe frame;
    for (;;) {
        // The close request is read before the store's end, so that every frame stored before
        // CloseLog is written.
        bool closing;
        {
            std::lock_guard<std::mutex> hold(lock);
            closing = closeReq;
        }
        store.GetTotal(nullptr, &last);
        while (written < last)
            if (store.Get(++written, frame)) Write(frame);  // a frame overwritten since is skipped
        if (closing) break;
        Thread::sleep(100);
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        formatWriter->End(fp);
        CheckWritten();
        if (std::fclose(fp) != 0 && error.empty()) error = std::strerror(errno);
        fp = nullptr;
    }
    // After the close, so that whoever hears of it sees the file whole, or its error.
    if (notices) notices->LogWriteDone();
    running = false;  // last: the owner may destroy this object as soon as it sees it
}
