#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_source.h"

// Turns one line of a log file into a frame; true when the line held one.
using LogLineParser = std::function<bool(char* line, CANframe& frame)>;
// The line parser for a log whose first bytes (size of them, at head) are given: the grammar of
// the log's format. Whoever creates the emulation hands it in (SimulatedCards: the formats the
// program reads); without it, log replay is refused.
using LogLineParserFor = std::function<LogLineParser(const char* head, size_t size)>;

// A log replayed onto a bus in real time: each data or remote frame goes out at the bus's start
// plus its time stamp's distance from the log's first frame. Error frames and text lines are
// left out: the bus carries only what a node could send.
class LogReplaySource : public SimSource {
  public:
    // frames in log order with their log time stamps; loop starts over after the last one.
    LogReplaySource(std::vector<CANframe> frames, bool loop);
    // Reads the frames of a log file (of one log port, or all for port -1). Throws std::string
    // naming the problem when the file cannot be read or holds no frame.
    static std::vector<CANframe> ReadLog(const std::string& path, const LogLineParserFor& parser,
                                         int port);

    void Start(uint32_t now) override;
    uint32_t Poll(uint32_t now, std::vector<CANframe>& out) override;
    void Seen(const CANframe&, uint32_t) override {}

  private:
    // On the card's clock, which wraps: a log longer than a wrap keeps its frames' spacing.
    uint32_t Due(size_t index) const {
        return start + static_cast<uint32_t>(frames[index].timestamp - first);
    }

    const std::vector<CANframe> frames;
    const bool loop;
    const uint64_t first;  // time stamp of the first frame
    bool started = false;
    uint32_t start = 0;  // when the current pass began
    size_t next = 0;     // the next frame to send
};
