#include "decode/parsed_message.h"

#include <algorithm>

namespace {
bool Inside(int row, int col) {
    return row >= 0 && row < ParsedMessage::kRows && col >= 0 && col < ParsedMessage::kCols;
}
}  // namespace

ParsedMessage::~ParsedMessage() {
    for (int row = 0; row < rowsUsed; row++)
        for (ParseFrag* frag : frags[row]) delete frag;
}

ParseFrag* ParsedMessage::getFrag(int row, int col) {
    return Inside(row, col) ? frags[row][col] : nullptr;
}

void ParsedMessage::addFrag(ParseFrag* frag, int row, int col) {
    std::unique_ptr<ParseFrag> owned(frag);
    if (!Inside(row, col)) return;
    int len = static_cast<int>(owned->text.size());
    if (col == 0)
        maxFragLen = std::max(maxFragLen, len);
    else
        maxSubFragLen = std::max(maxSubFragLen, len);
    delete frags[row][col];
    frags[row][col] = owned.release();
    rowsUsed = std::max(rowsUsed, row + 1);
}

void ParsedMessage::addFrag(ParseFrag* frag) {
    int row = numFrags++;
    addFrag(frag, row, 0);
    numLines++;
    nextSub = 1;
}

void ParsedMessage::addFrag(const std::string& text, int level) {
    addFrag(new ParseFrag(0, 0, text, level));
}

void ParsedMessage::addFrag(int first, const std::string& text, int level) {
    addFrag(new ParseFrag(first, 1, text, level));
}

void ParsedMessage::addFrag(int first, int count, const std::string& text, int level) {
    addFrag(new ParseFrag(first, count, text, level));
}

void ParsedMessage::addSubFrag(ParseFrag* frag) {
    int col = nextSub++;
    addFrag(frag, numFrags - 1, col);
    numLines++;
}

void ParsedMessage::addSubFrag(const std::string& text, int level) {
    addSubFrag(new ParseFrag(0, 0, text, level));
}

void ParsedMessage::addSubFrag(int first, const std::string& text, int level) {
    addSubFrag(new ParseFrag(first, 1, text, level));
}

void ParsedMessage::addSubFrag(int first, int count, const std::string& text, int level) {
    addSubFrag(new ParseFrag(first, count, text, level));
}
