// The merge of the ports' frames, step by step with a scripted clock: frames are held for older
// frames of other ports at most the window, each port's order is kept, and a frame that comes later
// than the window is released at once and counted.

#include "io/frame_merge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Clock = FrameMerge::Clock;
constexpr std::chrono::milliseconds kWindow{20};

// The time ms milliseconds into the script.
Clock::time_point At(double ms) {
    return Clock::time_point() + std::chrono::microseconds(static_cast<int64_t>(ms * 1000));
}

// Port port's frame number seq, stamped stamp.
CANframe Frame(int port, uint64_t stamp, int seq = 0) {
    CANframe f;
    f.port = static_cast<uint8_t>(port);
    f.id = 0x100u + static_cast<uint32_t>(port);
    f.length = 1;
    f.data[0] = static_cast<uint8_t>(seq);
    f.timestamp = stamp;
    return f;
}

// The frames released as "port:stamp" or "port:stamp#seq", in order.
std::string Text(const std::vector<CANframe>& frames, bool seq = false) {
    std::string text;
    for (const CANframe& f : frames) {
        if (!text.empty()) text += ' ';
        text += std::to_string(f.port) + ':' + std::to_string(f.timestamp);
        if (seq) text += '#' + std::to_string(f.data[0]);
    }
    return text;
}

std::vector<CANframe> Release(FrameMerge& merge, double ms) {
    std::vector<CANframe> out(64);
    out.resize(static_cast<size_t>(merge.Release(At(ms), out.data(), 64)));
    return out;
}

std::vector<CANframe> Drain(FrameMerge& merge) {
    std::vector<CANframe> out(64);
    out.resize(static_cast<size_t>(merge.Drain(out.data(), 64)));
    return out;
}

FrameMerge ThreePorts() {
    FrameMerge merge(kWindow);
    for (int p = 0; p < 3; p++) EXPECT_EQ(merge.AddSource(), p);
    return merge;
}

// Frames that arrive out of stamp order across the ports, within the window, are released in
// stamp order: a frame waits while a port has handed nothing over, until the oldest frame held has
// waited the window, and goes at once when every port holds a newer one.
TEST(FrameMergeTest, ArrivalsWithinTheWindowComeOutInStampOrder) {
    FrameMerge merge = ThreePorts();
    EXPECT_EQ(merge.NextDue(), Clock::time_point::max());
    EXPECT_TRUE(merge.Add(0, Frame(0, 100), At(0)));
    EXPECT_TRUE(merge.Add(1, Frame(1, 50), At(1)));
    EXPECT_FALSE(merge.Add(0, Frame(0, 300), At(2)));  // behind port 0's first: nothing changes
    EXPECT_EQ(merge.NextDue(), At(20));
    EXPECT_EQ(Text(Release(merge, 5)), "");
    EXPECT_EQ(Text(Release(merge, 19.999)), "");
    // Port 2 hands a frame over: the oldest stamp of all is known, the rest wait on for port 1.
    EXPECT_TRUE(merge.Add(2, Frame(2, 200), At(10)));
    EXPECT_EQ(merge.NextDue(), Clock::time_point::min());
    EXPECT_EQ(Text(Release(merge, 10)), "1:50");
    EXPECT_EQ(merge.NextDue(), At(20));
    // Port 0's first frame has waited the window; its second waits on until 22 ms.
    EXPECT_EQ(Text(Release(merge, 20)), "0:100");
    EXPECT_EQ(merge.NextDue(), At(22));
    // Then port 2's frame, older, goes before it.
    EXPECT_EQ(Text(Release(merge, 22)), "2:200 0:300");
    EXPECT_EQ(merge.Held(), 0u);
    EXPECT_EQ(merge.Late(), 0u);
}

// A port's frames keep their order whatever their stamps: equal ones, and one older than the
// frame before it (counted as late, as a newer frame went before it).
TEST(FrameMergeTest, KeepsEachPortsOrder) {
    FrameMerge merge = ThreePorts();
    merge.Add(0, Frame(0, 100, 0), At(0));
    merge.Add(0, Frame(0, 100, 1), At(0));
    merge.Add(0, Frame(0, 90, 2), At(0));
    merge.Add(1, Frame(1, 95, 0), At(1));
    merge.Add(1, Frame(1, 100, 1), At(1));
    merge.Add(2, Frame(2, 100, 0), At(2));
    // Equal stamps across the ports go in the order they arrived.
    EXPECT_EQ(Text(Drain(merge), true), "1:95#0 0:100#0 0:100#1 0:90#2 1:100#1 2:100#0");
    EXPECT_EQ(merge.Late(), 1u);
}

// A frame that comes after a newer frame has been released is released at once and counted, as is
// each later frame of its port that is still older than the newest released.
TEST(FrameMergeTest, FramesLaterThanTheWindowAreReleasedAndCounted) {
    FrameMerge merge(kWindow);
    merge.AddSource();
    merge.AddSource();
    merge.Add(0, Frame(0, 1000), At(0));
    EXPECT_EQ(Text(Release(merge, 20)), "0:1000");
    EXPECT_FALSE(merge.LateNext());
    EXPECT_TRUE(merge.Add(1, Frame(1, 500), At(25)));
    EXPECT_TRUE(merge.LateNext());
    merge.Add(1, Frame(1, 999), At(25));
    merge.Add(1, Frame(1, 1000), At(25));
    merge.Add(1, Frame(1, 1500), At(25));
    EXPECT_EQ(merge.NextDue(), Clock::time_point::min());
    // One as new as the newest released is not late: it waits as any other.
    EXPECT_EQ(Text(Release(merge, 25)), "1:500 1:999");
    EXPECT_EQ(merge.Late(), 2u);
    EXPECT_EQ(merge.NextDue(), At(45));
    EXPECT_EQ(Text(Release(merge, 45)), "1:1000 1:1500");
    EXPECT_EQ(merge.Late(), 2u);
}

// A release hands out at most what it is asked for; the rest stays due.
TEST(FrameMergeTest, ReleasesInBatches) {
    FrameMerge merge(kWindow);
    merge.AddSource();
    for (int i = 0; i < 100; i++) merge.Add(0, Frame(0, static_cast<uint64_t>(i), i), At(0));
    EXPECT_EQ(Release(merge, 0).size(), 64u);  // a single port: nothing to wait for
    const std::vector<CANframe> rest = Release(merge, 0);
    ASSERT_EQ(rest.size(), 36u);
    EXPECT_EQ(rest.front().timestamp, 64u);
    EXPECT_EQ(merge.Held(), 0u);
}

}  // namespace
