#include "io/log_writer.h"

#include <cerrno>
#include <cstring>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "io/log_notices.h"
#include "store/msg_store.h"

LogWriter::LogWriter(const std::string& path, bool live, MsgStore& source, LogNotices* doneNotices)
    : store(source), notices(doneNotices), closeReq(!live) {
    fp = std::fopen(path.c_str(), "w");
    if (!fp) throw QuillonError(12, "Unable to open log file: " + path);
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

std::string LogWriter::FormatLine(const CANframe& frame) {
    char line[1000];
    int n = 0;
    switch (frame.type) {
        case FRAME_DATA:
            n = std::snprintf(line, sizeof line, "%9u CAN%d: 0x%08x - ", frame.timestamp,
                              frame.port, frame.id);
            for (int i = 0; i < frame.length && i < 8; i++)
                n += std::snprintf(line + n, sizeof line - n, "0x%02x ", frame.data[i]);
            line[n++] = '\n';
            break;
        case FRAME_RTR:
            n = std::snprintf(line, sizeof line, "%9u RTR%d: 0x%08x\n", frame.timestamp, frame.port,
                              frame.id);
            break;
        case FRAME_ERROR:
            n = std::snprintf(line, sizeof line, "%9u ERROR%d:\n", frame.timestamp, frame.port);
            break;
        case FRAME_TEXT:
            // A comment or other text line comes back as the same text: after its time stamp
            // when it had one, as it stood (leading white space too) when it had none.
            if (frame.text && *frame.text)
                return (frame.unstamped ? std::string() : Format("%9u ", frame.timestamp)) +
                       frame.text + "\n";
            break;
        default:
            break;
    }
    return std::string(line, n);
}

void LogWriter::Write(const CANframe& frame) {
    MutexLock hold(lock);
    if (!fp) throw QuillonError(17, "Attempt to write to a closed log file");
    std::string text = FormatLine(frame);
    if (std::fwrite(text.data(), 1, text.size(), fp) != text.size() && error.empty())
        error = std::strerror(errno);
}

std::string LogWriter::WriteError() {
    MutexLock hold(lock);
    return error;
}

void LogWriter::CloseLog() {
    MutexLock hold(lock);
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
            MutexLock hold(lock);
            closing = closeReq;
        }
        store.GetTotal(nullptr, &last);
        while (written < last)
            if (store.Get(++written, frame)) Write(frame);  // a frame overwritten since is skipped
        if (closing) break;
        Thread::sleep(100);
    }
    {
        MutexLock hold(lock);
        if (std::fclose(fp) != 0 && error.empty()) error = std::strerror(errno);
        fp = nullptr;
    }
    // After the close, so that whoever hears of it sees the file whole, or its error.
    if (notices) notices->LogWriteDone();
    running = false;  // last: the owner may destroy this object as soon as it sees it
}
