#pragma once

#include <cstdint>

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
// An all-zero record is a valid FRAME_DATA record (with links 0 instead of -1), so storage
// that was zero-filled may be assigned to without constructing it first.
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
    // Decoders' marks only go up.
    void RaiseStatus(Severity level) {
        if (status < static_cast<int16_t>(level)) status = static_cast<int16_t>(level);
    }

    int16_t type : 4;        // a FrameType
    uint16_t extended : 1;   // 29-bit identifier
    int16_t length : 5;      // valid data bytes, 0 to 8
    int16_t status : 3;      // a Severity; decoders only raise it
    uint16_t unstamped : 1;  // a text line that had no time stamp of its own (timestamp is 0)
    uint8_t port;            // port the frame came from, or was logged with
    uint32_t timestamp;      // microseconds
    uint32_t id;
    union {
        uint8_t data[8];  // FRAME_DATA, FRAME_RTR, FRAME_ERROR: bytes in bus order
        char* text;       // FRAME_TEXT: owned, may be null
    };
    uint32_t scanInfo;  // the decoder's marks; bit 0: first frame of an exchange
    int32_t txPrev;     // store index of the previous frame of the same exchange, or -1
    int32_t txNext;     // store index of the next frame of the same exchange, or -1
    uint32_t objID;     // SDO object addressed: index << 16 | subindex; 0 for none
};
