#pragma once

#include <algorithm>
#include <vector>

#include "decode/canopen_parser.h"
#include "store/can_frame.h"
#include "store/msg_store.h"

// A frame with the given bytes; length defaults to their number.
inline CANframe Frame(uint32_t id, const std::vector<uint8_t>& bytes, int length = -100,
                      int type = FRAME_DATA, uint8_t port = 0) {
    CANframe f;
    f.id = id;
    f.type = type;
    f.port = port;
    std::copy(bytes.begin(), bytes.end(), f.data);
    f.length = length == -100 ? static_cast<int>(bytes.size()) : length;
    return f;
}

// A message store scanned by the CANopen decoder, which reads the store back when decoding.
// (What frames decode to is checked by the golden cases of quillon-dump, tests/tools/data.)
struct ScannedStore {
    explicit ScannedStore(int capacity = 1000) : store(capacity) { store.SetScanner(&parser); }
    int Add(const CANframe& f) {
        store.Add(f);
        return store.GetLast();
    }
    CANframe At(int index) {
        CANframe f;
        store.Get(index, f);
        return f;
    }
    // The store indexes of the exchange that frame index belongs to.
    std::vector<int> Exchange(int index) {
        Array<int> list;
        store.GetTxList(index, list);
        std::vector<int> v;
        for (uint32_t i = 0; i < list.Count(); i++) v.push_back(list[i]);
        return v;
    }

    MsgStore store;
    CANopenParser parser{&store};
};
