#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/can_frame.h"

class Parser;

// What a find compares a row with.
enum class MatchField {
    kId,    // the identifier, in hex
    kData,  // the data bytes, a pattern
    kText,  // the decoder's short description, the Value column
    kTime,  // the first row at or after a time (go to)
};

// What a find looks for, parsed from what the user typed (Parse):
//   identifier  hex, with or without 0x: "181", "0x181"; data and remote frames with that
//               identifier, 11 or 29 bits alike.
//   data        bytes in hex from the first data byte on, separated by spaces or not: "40 17 10",
//               "401710"; "??" stands for any one byte, "*" for any run of bytes (none too). The
//               bytes after the pattern's last are not looked at: "40 ?? 10" finds every data
//               frame whose bytes begin 40 xx 10, "* 10" every one with a 10 among its bytes.
//   text        a part of the Value column, upper and lower case alike: "boot", "SDO->5".
// A go-to time is made with AtTime.
class FrameMatch {
  public:
    // The match for text, or a QuillonError with the message to show.
    static FrameMatch Parse(MatchField field, const std::string& text);
    // Rows at or after micros microseconds that have a time of their own.
    static FrameMatch AtTime(uint64_t micros);

    // Whether the decoder describes the rows to match them (slower: run off the GUI thread).
    bool Decodes() const { return field == MatchField::kText; }
    // Whether frame matches; decoder describes it for a text match (none matches without one).
    bool Matches(const CANframe& frame, Parser* decoder) const;

  private:
    bool DataMatches(const uint8_t* data, int length) const;
    // Takes a data pattern, a token a byte: a byte's value, or kAnyByte, or kAnyRun.
    void SetPattern(const std::vector<int>& tokens);

    MatchField field = MatchField::kId;
    uint32_t id = 0;
    uint64_t micros = 0;
    static constexpr int kAnyByte = -1;
    static constexpr int kAnyRun = -2;
    // A data pattern as the runs of bytes between its runs of any bytes, each compared at once
    // as the bits of the 8 data bytes read as one little-endian word: (word >> 8 * at) & mask
    // == value, where at is where it begins. anchored: the first begins at the first byte.
    struct Segment {
        uint64_t mask = 0, value = 0;
        int length = 0;  // bytes; above 8 it matches no frame
    };
    std::vector<Segment> segments;
    bool anchored = false;
    std::string text;  // lower case
};

// Where a go-to leads, parsed from what the user typed (ParseGoTo):
//   "#1234" or "1234"      the row of message number 1234 (the Msg # column), or the next after
//   "12.5s" or "12.5 s"    the first row at or after 12.5 seconds (the Time column)
struct GoToTarget {
    bool time = false;
    StoreIndex number = 0;
    uint64_t micros = 0;
};
// The target, or a QuillonError with the message to show.
GoToTarget ParseGoTo(const std::string& text);
