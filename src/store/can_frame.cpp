#include "store/can_frame.h"

#include <cstring>

// The message store keeps records by value: a frame costs 40 bytes of its slot.
static_assert(sizeof(CANframe) == 40, "a stored frame is 40 bytes");

namespace {

char* CopyText(const char* s) {
    if (!s) return nullptr;
    size_t n = std::strlen(s) + 1;
    return static_cast<char*>(std::memcpy(new char[n], s, n));
}

}  // namespace

CANframe& CANframe::operator=(const CANframe& src) {
    if (this == &src) return *this;
    if (type != FRAME_TEXT && src.type != FRAME_TEXT) {
        // Neither owns text: the record is plain data, copied whole. This is the store's path
        // for every frame.
        std::memcpy(static_cast<void*>(this), &src, sizeof *this);
        return *this;
    }
    Reset(false);
    copy(src);
    return *this;
}

CANframe::~CANframe() {
    Reset(false);
}

void CANframe::Reset(bool fresh) {
    if (!fresh && type == FRAME_TEXT) delete[] text;
    type = FRAME_DATA;
    extended = 0;
    length = 0;
    status = 0;
    unstamped = 0;
    hasPrev = 0;
    hasNext = 0;
    port = 0;
    timestamp = 0;
    id = 0;
    std::memset(data, 0, sizeof data);
    scanInfo = 0;
    txPrev = 0;
    txNext = 0;
    objID = 0;
}

void CANframe::copy(const CANframe& src) {
    type = src.type;
    extended = src.extended;
    length = src.length;
    status = src.status;
    unstamped = src.unstamped;
    hasPrev = src.hasPrev;
    hasNext = src.hasNext;
    port = src.port;
    timestamp = src.timestamp;
    id = src.id;
    if (src.type == FRAME_TEXT) {
        std::memset(data, 0, sizeof data);
        text = CopyText(src.text);
    } else {
        std::memcpy(data, src.data, sizeof data);
    }
    scanInfo = src.scanInfo;
    txPrev = src.txPrev;
    txNext = src.txNext;
    objID = src.objID;
}

size_t CANframe::TextBytes() const {
    if (type != FRAME_TEXT || !text) return 0;
    const size_t chunk = (std::strlen(text) + 1 + 8 + 15) & ~size_t{15};
    return chunk < 32 ? 32 : chunk;
}

void CANframe::SetText(const char* s) {
    char* owned = CopyText(s);  // before releasing: s may be the current text
    if (type == FRAME_TEXT) delete[] text;
    type = FRAME_TEXT;
    std::memset(data, 0, sizeof data);
    text = owned;
}
