#pragma once

#include <cstddef>
#include <cstdint>

// A frame's running number in the message store since its last Clear. 64 bits: no run of any
// length, not even of saturated ports for years, reaches its end.
using StoreIndex = int64_t;

// Bit 29 of a frame's identifier marks a 29-bit identifier, as a port delivers it; the
// `extended` flag says the same for frames that come without the mark.
constexpr uint32_t kExtendedMark = 1u << 29;
constexpr uint32_t kExtendedIdMask = 0x1FFFFFFF;
constexpr uint32_t kStandardIdMask = 0x7FF;

// What a stored record holds.
enum FrameType {
    FRAME_DATA = 0,   // data frame
    FRAME_RTR = 1,    // remote-request frame
    FRAME_ERROR = 2,  // error frame reported by the card
    FRAME_TEXT = 3,   // a text line kept in place of a frame (log comment or unparsable line)
};

// What a decoder has to say about a frame, as its status holds it: the message list colours the
// frame's row by it and quillon-dump prints its number. (The colour table has an entry for 1
// too, which no decoder gives.)
enum class Severity : int16_t {
    kNormal = 0,
    kWarning = 2,
    kError = 3,
};

// One frame, or one text entry, as it travels through the program: filled by the readers, kept
// by value in the message store, annotated by the decoders' scan, tested by filters and written
// to log files. A FRAME_TEXT record owns its text; copies are deep.
//
// An all-zero record is a valid FRAME_DATA record, so storage that was zero-filled may be
// assigned to without constructing it first.
//
// The links to the other frames of the same exchange keep 32 bits of a store index each, so that
// a record stays 40 bytes: the low 32 bits of the index linked to. A frame links only to frames
// less than 2^31 before or after it, and a store holds fewer than 2^31 frames, so every frame
// linked from a frame the store holds lies within 2^32 before the store's newest index, which
// therefore tells the whole index back.
struct CANframe {
    CANframe() { Reset(true); }
    CANframe(const CANframe& src) { copy(src); }
    CANframe& operator=(const CANframe& src);
    ~CANframe();

    // Back to the clear state. fresh: the storage holds no valid record, so nothing is released.
    void Reset(bool fresh);
    // Fills storage that holds no valid record with a deep copy of src.
    void copy(const CANframe& src);
    // Turns the record into a FRAME_TEXT entry owning a copy of s (null keeps no text).
    void SetText(const char* s);
    // The heap bytes the record's text takes: its characters and NUL in the allocator's chunks
    // (glibc's: an 8-byte header, rounded up to 16, at least 32); 0 without text.
    size_t TextBytes() const;
    // Links this frame, at store index self, to the previous or the next frame of its exchange
    // (to); to -1, or a frame out of a link's reach, leaves it without.
    void LinkPrev(StoreIndex self, StoreIndex to) { hasPrev = Link(self, to, &txPrev); }
    void LinkNext(StoreIndex self, StoreIndex to) { hasNext = Link(self, to, &txNext); }
    // The store index linked to, or -1 for none. newest: the message store's newest index.
    StoreIndex Prev(StoreIndex newest) const { return hasPrev ? Linked(txPrev, newest) : -1; }
    StoreIndex Next(StoreIndex newest) const { return hasNext ? Linked(txNext, newest) : -1; }
    // A data or remote frame with a 29-bit identifier, by the flag or by the mark.
    bool IsExtended() const {
        return (type == FRAME_DATA || type == FRAME_RTR) && (extended || (id & kExtendedMark));
    }
    // The identifier without the mark. An identifier with bits beyond its kind's keeps them,
    // so that what shows it never shows another frame's.
    uint32_t BareId() const { return IsExtended() ? id & ~kExtendedMark : id; }
    // The identifier with the mark on every 29-bit one, as a port delivers it: one key per frame
    // on the bus, whichever way the frame says it is extended.
    uint32_t MarkedId() const { return IsExtended() ? id | kExtendedMark : id; }
    // A data or remote frame's identifier has no bits beyond its kind's 11 or 29, so a bus could
    // carry it. Other records hold no identifier.
    bool IdFits() const {
        if (type != FRAME_DATA && type != FRAME_RTR) return true;
        return BareId() <= (IsExtended() ? kExtendedIdMask : kStandardIdMask);
    }
    // Decoders' marks only go up.
    void RaiseStatus(Severity level) {
        if (status < static_cast<int16_t>(level)) status = static_cast<int16_t>(level);
    }

    int16_t type : 4;        // a FrameType
    uint16_t extended : 1;   // 29-bit identifier
    int16_t length : 5;      // valid data bytes, 0 to 8
    int16_t status : 3;      // a Severity; decoders only raise it
    uint16_t unstamped : 1;  // a text line that had no time stamp of its own (timestamp is 0)
    uint16_t hasPrev : 1;    // txPrev names a frame
    uint16_t hasNext : 1;    // txNext names a frame
    uint8_t port;            // port the frame came from, or was logged with
    uint32_t id;
    // Microseconds; 64 bits, so that no run or log of any length wraps it (32 bits did after
    // 71.6 minutes).
    uint64_t timestamp;
    union {
        uint8_t data[8];  // FRAME_DATA, FRAME_RTR, FRAME_ERROR: bytes in bus order
        char* text;       // FRAME_TEXT: owned, may be null
    };
    uint32_t scanInfo;  // the decoder's marks; bit 0: first frame of an exchange
    uint32_t txPrev;    // low 32 bits of the previous frame's store index (see Prev)
    uint32_t txNext;    // low 32 bits of the next frame's store index (see Next)
    uint32_t objID;     // SDO object addressed: index << 16 | subindex; 0 for none

  private:
    static bool Link(StoreIndex self, StoreIndex to, uint32_t* low) {
        const StoreIndex span = to > self ? to - self : self - to;
        if (to < 0 || span > INT32_MAX) return false;
        *low = static_cast<uint32_t>(to);
        return true;
    }
    static StoreIndex Linked(uint32_t low, StoreIndex newest) {
        return newest - static_cast<uint32_t>(static_cast<uint32_t>(newest) - low);
    }
};
