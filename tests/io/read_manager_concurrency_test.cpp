// Replays started and waited for on several threads at once, beside their reader threads.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/quillon_error.h"
#include "io/read_manager.h"
#include "store/msg_store.h"
#include "support/test_support.h"

// Replays that wait for their end, on several threads at once, each take a finished reader's slot
// but never the slot of a reader that another replay still waits on: each gets its own count.
TEST(ReadManagerTest, WaitingReplaysKeepTheirReaders) {
    MsgStore store(4096);
    ReadManager readers;
    readers.SetStore(&store);
    TempDir dir;
    const std::string three = dir.file("three.log");
    WriteFile(three, "1 CAN1: 0x1 - 1\n2 CAN1: 0x2 -\n3 CAN1: 0x3 - 999\n");
    const uint64_t dropped = readers.ReadLogFile(three, true).droppedLines;
    EXPECT_EQ(dropped, 1u);
    constexpr int kThreads = 4, kReplays = 25;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([&] {
            for (int i = 0; i < kReplays; i++) {
                try {
                    if (readers.ReadLogFile(three, true).droppedLines != dropped) wrong++;
                } catch (const QuillonError&) {  // no slot
                    wrong++;
                }
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(store.GetTotal(nullptr, nullptr), 2 * (1 + kThreads * kReplays));
}
