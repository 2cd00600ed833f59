#include "store/can_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

void ExpectClear(const CANframe& f) {
    EXPECT_EQ(f.type, FRAME_DATA);
    EXPECT_EQ(f.extended | f.length | f.status | f.port, 0);
    EXPECT_EQ(f.timestamp | f.id | f.scanInfo | f.objID, 0u);
    for (int i = 0; i < 8; i++) EXPECT_EQ(f.data[i], 0) << i;
    EXPECT_EQ(f.txPrev, -1);
    EXPECT_EQ(f.txNext, -1);
}

CANframe Sample() {
    CANframe f;
    f.type = FRAME_RTR;
    f.extended = 1;
    f.length = 2;
    f.status = 3;
    f.port = 200;
    f.timestamp = 0xFFFFFFF0u;
    f.id = 0x1FFFFFFF;
    for (int i = 0; i < 8; i++) f.data[i] = static_cast<uint8_t>(0xA0 + i);
    f.scanInfo = 0x80000001u;
    f.txPrev = 12;
    f.txNext = 9999999;
    f.objID = 0x6040007F;
    return f;
}

TEST(CANframeTest, CopiesEveryFieldAndAllEightBytes) {
    CANframe f;
    ExpectClear(f);
    f.length = -16;  // bad lengths stay visible to the decoders, which must cope
    EXPECT_EQ(f.length, -16);
    f.length = 15;
    EXPECT_EQ(f.length, 15);

    const CANframe src = Sample();
    CANframe copy(src);
    CANframe assigned;
    assigned = src;
    for (const CANframe* c : {&copy, &assigned}) {
        EXPECT_EQ(c->type, FRAME_RTR);
        EXPECT_EQ(c->extended, 1);
        EXPECT_EQ(c->length, 2);
        EXPECT_EQ(c->status, 3);
        EXPECT_EQ(c->port, 200);
        EXPECT_EQ(c->timestamp, 0xFFFFFFF0u);
        EXPECT_EQ(c->id, 0x1FFFFFFFu);
        EXPECT_EQ(std::memcmp(c->data, src.data, 8), 0);  // beyond length too
        EXPECT_EQ(c->scanInfo, 0x80000001u);
        EXPECT_EQ(c->txPrev, 12);
        EXPECT_EQ(c->txNext, 9999999);
        EXPECT_EQ(c->objID, 0x6040007Fu);
    }
    assigned.Reset(false);
    ExpectClear(assigned);
}

TEST(CANframeTest, TextFramesOwnTheirText) {
    auto a = std::make_unique<CANframe>();
    a->SetText("; comment line");
    CANframe b(*a);
    CANframe c = Sample();
    c = *a;
    EXPECT_NE(b.text, a->text);
    EXPECT_NE(c.text, a->text);
    a.reset();  // the copies keep their own text
    EXPECT_STREQ(b.text, "; comment line");
    EXPECT_STREQ(c.text, "; comment line");

    b = b;  // self-assignment keeps the text
    EXPECT_STREQ(b.text, "; comment line");
    b.SetText(b.text + 2);  // from its own text
    EXPECT_STREQ(b.text, "comment line");
    c = Sample();  // assigning a data frame releases the text
    EXPECT_EQ(c.data[7], 0xA7);

    CANframe none;
    none.SetText(nullptr);
    CANframe noneCopy(none);
    EXPECT_EQ(noneCopy.type, FRAME_TEXT);
    EXPECT_EQ(noneCopy.text, nullptr);
    noneCopy.Reset(false);
    ExpectClear(noneCopy);
}

TEST(CANframeTest, ZeroFilledStorageTakesAssignment) {
    // Slots of a zero-filled ring are assigned to without being constructed first.
    alignas(CANframe) unsigned char storage[sizeof(CANframe)] = {};
    CANframe* slot = reinterpret_cast<CANframe*>(storage);
    CANframe text;
    text.SetText("kept");
    *slot = text;
    EXPECT_STREQ(slot->text, "kept");
    *slot = Sample();
    EXPECT_EQ(slot->id, 0x1FFFFFFFu);

    // Reset(true) makes raw storage valid without releasing anything in it.
    std::memset(storage, 0xAB, sizeof storage);
    slot->Reset(true);
    ExpectClear(*slot);
}

}  // namespace
