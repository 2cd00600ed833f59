#include "sim/log_replay_source.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "base/utils.h"

namespace {

constexpr uint32_t kMaxAhead = 1000000;  // the interface's limit for the next poll
constexpr int kLineSize = 1000;          // the log reader sees the same first 999 characters
constexpr size_t kHeadSize = 1 << 16;    // as much of a log as the log reader's recognition sees
// A looping log starts over this long after its last frame, so that its last and first frames
// keep apart.
constexpr uint32_t kLoopGap = 1000;

bool Before(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

}  // namespace

LogReplaySource::LogReplaySource(std::vector<CANframe> frames, bool loop)
    : frames(std::move(frames)),
      loop(loop),
      first(this->frames.empty() ? 0 : this->frames[0].timestamp) {}

std::vector<CANframe> LogReplaySource::ReadLog(const std::string& path,
                                               const LogLineParserFor& parserFor, int port) {
    std::unique_ptr<FILE, int (*)(FILE*)> fp(OpenRegularFile(path.c_str(), "r"), &std::fclose);
    if (!fp) throw Format("cannot read log file %s", path.c_str());
    SkipByteOrderMark(fp.get());
    // The log's format shows in its first lines.
    const long start = std::ftell(fp.get());
    std::vector<char> head(kHeadSize);
    head.resize(std::fread(head.data(), 1, head.size(), fp.get()));
    std::fseek(fp.get(), start, SEEK_SET);
    const LogLineParser parser = parserFor(head.data(), head.size());
    std::vector<CANframe> frames;
    char line[kLineSize];
    while (std::fgets(line, sizeof line, fp.get())) {
        CANframe frame;
        if (!parser(line, frame)) continue;
        if (frame.type != FRAME_DATA && frame.type != FRAME_RTR) continue;
        if (port >= 0 && frame.port != port) continue;
        frames.push_back(frame);
    }
    if (frames.empty())
        throw Format(
            "log file %s holds no frame to replay (logs of the program, candump -l, Vector ASC "
            "and PEAK TRC are replayed)",
            path.c_str());
    return frames;
}

void LogReplaySource::Start(uint32_t now) {
    started = true;
    start = now;
    next = 0;
}

uint32_t LogReplaySource::Poll(uint32_t now, std::vector<CANframe>& out) {
    if (!started || frames.empty()) return now + kMaxAhead;
    for (;;) {
        while (next < frames.size() && !Before(now, Due(next))) out.push_back(frames[next++]);
        if (next < frames.size() || !loop) break;
        start = Due(frames.size() - 1) + kLoopGap;
        next = 0;
    }
    if (next == frames.size()) return now + kMaxAhead;
    const uint32_t due = Due(next);
    return Before(now + kMaxAhead, due) ? now + kMaxAhead : due;
}
