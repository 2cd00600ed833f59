#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/quillon.h"
#include "base/utils.h"
#include "decode/parser.h"
#include "store/can_frame.h"
#include "store/msg_store.h"

// A data frame (or another type) with the given bytes; length defaults to their number.
inline CANframe Frame(uint32_t id, std::initializer_list<uint8_t> bytes, int length = -100,
                      int type = FRAME_DATA, uint8_t port = 0) {
    CANframe f;
    f.id = id;
    f.type = type;
    f.port = port;
    int i = 0;
    for (uint8_t b : bytes) f.data[i++] = b;
    f.length = length == -100 ? static_cast<int>(bytes.size()) : length;
    return f;
}

// What a decoder makes of a frame: the short description, the status it leaves, and the lines
// as "first count level text", sub-lines indented by two blanks.
struct Decoded {
    std::string desc;
    int status;
    std::vector<std::string> lines;
};

inline Decoded Decode(Parser& parser, const CANframe& frame) {
    CANframe copy(frame);
    Decoded d;
    d.desc = parser.GetShortDesc(copy);
    d.status = copy.status;
    CANframe again(frame);
    std::unique_ptr<ParsedMessage> m(parser.Parse(again));
    for (int row = 0; row < m->numFrags; row++)
        for (int col = 0; col < ParsedMessage::kCols; col++)
            if (const ParseFrag* f = m->getFrag(row, col))
                d.lines.push_back(Format("%s%d %d %d ", col ? "  " : "", f->first, f->count,
                                         static_cast<int>(f->level)) +
                                  f->text);
    return d;
}

// The exchange list of the application's store from index.
inline std::vector<int> Exchange(int index) {
    Array<int> list;
    App().msgStore->GetTxList(index, list);
    std::vector<int> v;
    for (uint32_t i = 0; i < list.Count(); i++) v.push_back(list[i]);
    return v;
}
