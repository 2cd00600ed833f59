#include "sim/flood_source.h"

#include <algorithm>
#include <cstring>

#include "base/utils.h"

namespace {

// Without a frame to offer the bus asks again after a frame it carried; this is the idle
// interval the interface allows at most.
constexpr uint32_t kIdlePoll = 1000000;

}  // namespace

FloodSource::FloodSource(uint32_t count, uint32_t id, int length, int busNumber)
    : count(count), id(id), length(std::min(std::max(length, 0), 8)), busNumber(busNumber) {}

void FloodSource::Start(uint32_t) {
    started = true;
}

CANframe FloodSource::Frame(uint32_t sequence) const {
    CANframe frame;
    frame.type = FRAME_DATA;
    frame.extended = id > 0x7FF;
    frame.id = id;
    frame.length = length;
    unsigned char bytes[8] = {};
    Split32(sequence, bytes);
    bytes[4] = static_cast<unsigned char>(busNumber);
    std::memcpy(frame.data, bytes, static_cast<size_t>(length));
    return frame;
}

uint32_t FloodSource::Poll(uint32_t now, std::vector<CANframe>& out) {
    if (started && !offered && next < count) {
        out.push_back(Frame(next));
        offered = true;
    }
    return now + kIdlePoll;
}

void FloodSource::Seen(const CANframe& frame, uint32_t) {
    if (!offered || frame.id != id || frame.length != length) return;
    // Another sender may use the same identifier: only our own frame moves the sequence on.
    const CANframe mine = Frame(next);
    if (std::memcmp(frame.data, mine.data, static_cast<size_t>(length)) != 0) return;
    offered = false;
    next++;
}
