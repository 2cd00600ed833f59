#include "sim/sim_frame_queue.h"

#include <algorithm>

void SimFrameQueue::Send(uint32_t due, uint32_t id, const uint8_t* data, int length) {
    Pending p{due, sent++, CANframe()};
    p.frame.type = FRAME_DATA;
    p.frame.id = id;
    p.frame.length = static_cast<int16_t>(length);
    std::copy_n(data, length, p.frame.data);
    pending.push_back(p);
}

void SimFrameQueue::SendRemote(uint32_t due, uint32_t id, int length) {
    Pending p{due, sent++, CANframe()};
    p.frame.type = FRAME_RTR;
    p.frame.id = id;
    p.frame.length = static_cast<int16_t>(length);
    pending.push_back(p);
}

void SimFrameQueue::TakeDue(uint32_t now, std::vector<CANframe>& out) {
    auto firstLater =
        std::stable_partition(pending.begin(), pending.end(),
                              [now](const Pending& p) { return TimeReached(p.due, now); });
    std::vector<Pending> due(pending.begin(), firstLater);
    pending.erase(pending.begin(), firstLater);
    std::sort(due.begin(), due.end(), [](const Pending& a, const Pending& b) {
        return a.frame.id != b.frame.id ? a.frame.id < b.frame.id : a.order < b.order;
    });
    for (Pending& p : due) {
        p.frame.timestamp = now;
        out.push_back(p.frame);
    }
}

uint32_t SimFrameQueue::Next(uint32_t now, uint32_t limit) const {
    uint32_t next = now + limit;
    for (const Pending& p : pending)
        if (static_cast<int32_t>(p.due - next) < 0) next = p.due;
    return next;
}
