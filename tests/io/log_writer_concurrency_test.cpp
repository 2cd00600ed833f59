// The live log writer's thread beside the threads that add to the store: every frame written
// whatever the store's size, a lagging writer counting what it leaves out, a full disk.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "io/log_notices.h"
#include "io/log_writer.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

struct Faults : LogNotices {
    void LogWriteFault(const std::string& message) override {
        std::lock_guard<std::mutex> hold(lock);
        told.push_back(message);
    }
    std::vector<std::string> Told() {
        std::lock_guard<std::mutex> hold(lock);
        return told;
    }
    std::mutex lock;  // guards told, filled on the writer's thread
    std::vector<std::string> told;
};

class LogWriterTest : public testing::Test {
  protected:
    Faults notices;
    MsgStore store{16384};
    TempDir dir;
};

// Frames numbered from to from + n - 1 (identifier and time), added in runs of 64 as a reader
// adds them.
void AddNumbered(MsgStore& store, int n, int from = 0) {
    std::vector<CANframe> run;
    for (int i = from; i < from + n; i++) {
        CANframe f;
        f.timestamp = static_cast<uint32_t>(i);
        f.id = static_cast<uint32_t>(i) & 0x1FFFFFFF;
        f.extended = true;
        run.push_back(f);
        if (run.size() == 64 || i == from + n - 1) {
            store.Add(run.data(), static_cast<int>(run.size()));
            run.clear();
        }
    }
}

// More frames than a writer stuck on a full pipe can take out of its queue, whatever the timing:
// the pipe and the C library's buffer hold a few thousand lines, the batch it is stuck in at most
// a queue's worth, and the queue one more; the rest are left out.
constexpr int kMoreThanAStuckWriterTakes = 2 * static_cast<int>(LogWriter::kQueueFrames) + 50000;

// Everything read from the pipe reader (opened non-blocking) until its writer closes it.
std::string ReadAll(int reader) {
    fcntl(reader, F_SETFL, 0);
    std::string text;
    char buffer[1 << 16];
    for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
}

// How many lines text has, and whether they are the numbered frames 0, 1, ... in order.
int NumberedLines(const std::string& text, bool* inOrder) {
    std::istringstream lines(text);
    int count = 0;
    *inOrder = true;
    for (std::string line; std::getline(lines, line); count++)
        *inOrder = *inOrder && line.find(Format("can0 %08X#", count)) != std::string::npos;
    return count;
}

// A live writer writes every frame stored, however small the store: a replay waits for it.
TEST_F(LogWriterTest, LiveWriterWritesEveryFrameHoweverSmallTheStore) {
    MsgStore small(64);
    LogWriter writer(dir.file("live.log"), true, small, nullptr, LogFormat::Candump);
    AddNumbered(small, 3 * static_cast<int>(LogWriter::kQueueFrames));
    writer.CloseLog();
    writer.WaitDone();
    bool inOrder = false;
    EXPECT_EQ(NumberedLines(ReadFile(dir.file("live.log")), &inOrder),
              3 * static_cast<int>(LogWriter::kQueueFrames));
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(writer.Unwritten(), 0u);
    EXPECT_EQ(writer.WriteError(), "");
    const std::string bad = dir.file("no/such/dir.log");
    // A replay into a full store waits for the frames it held when the writer began, however
    // slowly they are written (into a pipe, read beside).
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    MsgStore full(1 << 17);
    AddNumbered(full, 1 << 17);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    LogWriter held(fifo, true, full, nullptr, LogFormat::Candump);
    std::string text;
    std::thread drain([&] { text = ReadAll(reader); });
    AddNumbered(full, 1 << 17, 1 << 17);
    held.CloseLog();
    held.WaitDone();
    drain.join();
    close(reader);
    EXPECT_EQ(NumberedLines(text, &inOrder), 1 << 18);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(held.Unwritten(), 0u);
    EXPECT_EQ(ThrownError([&] { LogWriter(bad, false, store, nullptr); }),
              "12 Unable to open log file: " + bad);
}

// Live ports cannot wait: a writer that cannot keep up (its file a pipe nobody reads yet) leaves
// out what its queue has no room for, counts it and says so once; what it wrote is every frame
// up to the first it left out.
TEST_F(LogWriterTest, LaggingWriterOfPortsCountsWhatItLeavesOut) {
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader =
        open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // so that the writer's open returns
    ASSERT_GE(reader, 0);
    const int total = kMoreThanAStuckWriterTakes;
    std::string text;
    {
        LogWriter writer(fifo, true, store, &notices, LogFormat::Candump, WriterPace::Drop);
        AddNumbered(store, total);  // the writer is stuck on the full pipe by now
        writer.CloseLog();
        text = ReadAll(reader);
        writer.WaitDone();
        bool inOrder = false;
        const int lines = NumberedLines(text, &inOrder);
        EXPECT_TRUE(inOrder);
        EXPECT_GT(writer.Unwritten(), 0u);
        EXPECT_EQ(lines + static_cast<int>(writer.Unwritten()), total);
        EXPECT_EQ(writer.WriteError(),
                  Format("%llu frames not written: the writing did not keep up with them",
                         static_cast<unsigned long long>(writer.Unwritten())));
    }
    close(reader);
    EXPECT_EQ(notices.Told(), std::vector<std::string>{"writing " + fifo +
                                                       " falls behind: frames are left out of it"});
}

// A writer that fell behind and then cannot write at all (nobody reads its pipe any more) tells
// the failure too, as it happens.
TEST_F(LogWriterTest, AFailureAfterALagIsToldToo) {
    signal(SIGPIPE, SIG_IGN);  // a write into a pipe without a reader fails with EPIPE instead
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    LogWriter writer(fifo, true, store, &notices, LogFormat::Candump, WriterPace::Drop);
    AddNumbered(store, kMoreThanAStuckWriterTakes);
    close(reader);
    writer.CloseLog();
    writer.WaitDone();
    EXPECT_EQ(notices.Told(), (std::vector<std::string>{
                                  "writing " + fifo + " falls behind: frames are left out of it",
                                  "cannot write " + fifo + ": Broken pipe"}));
}

// A full disk stops the writing at once, says so once, and every frame is counted as not
// written; the frames stored before the writer began as well as those after.
TEST_F(LogWriterTest, FullDiskStopsTheWritingAndCountsEveryFrame) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    AddNumbered(store, 2000);  // more than the C library's buffer holds
    LogWriter writer("/dev/full", true, store, &notices);
    AddNumbered(store, 5000);
    writer.CloseLog();
    writer.WaitDone();
    EXPECT_EQ(writer.Unwritten(), 7000u);
    EXPECT_EQ(writer.WriteError(), "No space left on device");
    EXPECT_EQ(notices.Told(),
              std::vector<std::string>{"cannot write /dev/full: No space left on device"});
}

}  // namespace
