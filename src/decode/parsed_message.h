#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "decode/frame_values.h"
#include "store/can_frame.h"

// One line of decoded text, tied to a range of the frame's fields: position -1 is the
// identifier, 0 to 7 the data bytes; count 0 covers nothing.
struct ParseFrag {
    ParseFrag(int first, int count, std::string text, int level)
        : first(first), count(count), level(level & 3), text(std::move(text)) {}

    int32_t first;
    int32_t count;
    uint32_t level : 2;  // 0 normal, 1 warning, 2 error
    std::string text;
};

// The decoded form of one frame: up to 50 top-level lines, each with up to 19 sub-lines.
// Lines beyond that are dropped but still counted in numLines.
class ParsedMessage {
  public:
    static constexpr int kRows = 50;
    static constexpr int kCols = 20;

    explicit ParsedMessage(const CANframe& frame) : frame(frame) {}
    ParsedMessage(const ParsedMessage&) = delete;
    ParsedMessage& operator=(const ParsedMessage&) = delete;
    virtual ~ParsedMessage();

    virtual CANframe& getFrame() { return frame; }
    // Null for an empty cell or a position outside the table.
    virtual ParseFrag* getFrag(int row, int col);

    // Stores at (row, col), or destroys the fragment when that is outside the table.
    virtual void addFrag(ParseFrag* frag, int row, int col);
    // A new top-level line (takes ownership).
    virtual void addFrag(ParseFrag* frag);
    virtual void addFrag(const std::string& text, int level);
    virtual void addFrag(int first, const std::string& text, int level);
    virtual void addFrag(int first, int count, const std::string& text, int level);
    // A sub-line of the last top-level line (takes ownership).
    virtual void addSubFrag(ParseFrag* frag);
    virtual void addSubFrag(const std::string& text, int level);
    virtual void addSubFrag(int first, const std::string& text, int level);
    virtual void addSubFrag(int first, int count, const std::string& text, int level);

    int numFrags = 0;  // rows used
    int nextSub = 0;   // column of the next sub-line of the last row
    int numLines = 0;  // every line added, stored or dropped
    int maxFragLen = 0;
    int maxSubFragLen = 0;
    FrameValues values;  // what quillon-dump's JSON adds beyond the lines

  private:
    CANframe frame;
    // Owned. Plain pointers, so that a message deletes only the rows it has used rather than
    // visiting all of the table's cells.
    ParseFrag* frags[kRows][kCols] = {};
    int rowsUsed = 0;  // rows below this may hold fragments
};
