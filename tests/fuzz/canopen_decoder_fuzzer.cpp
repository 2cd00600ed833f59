// Fuzz target: any bytes as a sequence of frames (13 bytes each: port, type, length, identifier
// low and high, 8 data bytes), added to a small store under the CANopen decoder, so that the
// scan pass sees them in order, and each stored frame then decoded both ways.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "decode/canopen_parser.h"
#include "store/msg_store.h"

namespace {

constexpr size_t kRecord = 13;

CANframe MakeFrame(const uint8_t* r) {
    CANframe f;
    f.port = r[0] % 66;                           // 64 and 65 have no network
    f.length = static_cast<int>(r[2] & 31) - 16;  // -16..15, as the field can hold
    f.id = (r[3] | r[4] << 8) & 0x7FF;
    if (r[4] & 0x80) f.id |= 1u << 29;
    if (r[4] & 0x40) f.id |= 0x80000000u;
    const int type = r[1] & 7;
    if (type == FRAME_TEXT) {
        f.SetText(std::string(reinterpret_cast<const char*>(r + 5), 8).c_str());
    } else {
        f.type = type;
        for (int i = 0; i < 8; i++) f.data[i] = r[5 + i];
    }
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The decoder reads neighbouring frames back from the store it scans for.
    struct Pipeline {
        Pipeline() { store.SetDecoder(&parser); }
        MsgStore store{64};  // wraps often
        CANopenParser parser{&store};
    };
    static Pipeline p;
    p.store.Clear();  // also a fresh decoder state
    for (size_t at = 0; at + kRecord <= size; at += kRecord) {
        p.store.Add(MakeFrame(data + at));
        CANframe stored;
        if (!p.store.Get(p.store.GetLast(), stored)) continue;
        CANframe copy(stored);
        p.parser.GetShortDesc(copy);
        std::unique_ptr<ParsedMessage> message(p.parser.Parse(stored));
    }
    return 0;
}
