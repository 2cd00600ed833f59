// Searches run while a reader adds frames, and the store is cleared between searches as the
// window does (it stops a search before it clears the store, which flushes the decoder's state):
// no data race (run under TSan), and a row found holds a matching frame.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "session/row_finder.h"
#include "session/session.h"
#include "store/filt_store.h"
#include "store/msg_store.h"

namespace {

TEST(RowFinderConcurrencyTest, FindsWhileFramesArriveAndTheStoreClears) {
    Session session(nullptr, nullptr, 20000);
    session.SetParserMode(PARSE_CANOPEN);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        CANframe batch[64];
        for (int round = 0; !stop; round++) {
            for (int i = 0; i < 64; i++) {
                batch[i].id = i == 0 ? 0x7FF : 0x181;
                batch[i].length = 1;
                batch[i].data[0] = static_cast<uint8_t>(round);
            }
            session.store().Add(batch, 64);
        }
    });
    RowFinder finder(session.view(), session.store(), session.decoder());
    const FrameMatch byId = FrameMatch::Parse(MatchField::kId, "7ff");
    const FrameMatch byText = FrameMatch::Parse(MatchField::kText, "no such text");
    int checked = 0;
    for (int k = 0; k < 300 || checked < 10; k++) {
        if (k % 50 == 49) session.store().Clear();
        FindProgress progress;
        const FindResult found = finder.Find(k % 4 ? byId : byText, session.view().GetFirst() + k,
                                             k % 3 != 0, true, progress);
        CANframe frame;
        const bool held = found.row >= 0 && session.view().Get(found.row, frame);
        if (held) {
            EXPECT_EQ(frame.id, 0x7FFu) << k;
            checked++;
        }
    }
    stop = true;
    reader.join();
}

}  // namespace
