#include "decode/sdo.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/quillon.h"
#include "decode/canopen_parser.h"
#include "decode/canopen_test_support.h"
#include "store/msg_store.h"

namespace {

using Lines = std::vector<std::string>;

// SDO frames of node 5 scanned through a real store, then decoded from the store.
class SdoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App().msgStore = std::make_unique<MsgStore>(1000);
        auto parser = std::make_unique<CANopenParser>();
        decoder = parser.get();
        App().parser = std::move(parser);
    }
    void TearDown() override {
        App().msgStore.reset();
        App().parser.reset();
    }
    static int Client(std::initializer_list<uint8_t> bytes, int length = -100) {
        App().msgStore->Add(Frame(0x605, bytes, length));
        return App().msgStore->GetLast();
    }
    static int Node(std::initializer_list<uint8_t> bytes, int length = -100) {
        App().msgStore->Add(Frame(0x585, bytes, length));
        return App().msgStore->GetLast();
    }
    static CANframe At(int index) {
        CANframe f;
        App().msgStore->Get(index, f);
        return f;
    }
    Decoded Dec(int index) { return Decode(*decoder, At(index)); }
    static int Kind(int index) { return (At(index).scanInfo >> SDO::kKindShift) & 0xF; }
    static bool Start(int index) { return At(index).scanInfo & SDO::kTransferStart; }
    SDO& State() { return decoder->findNode(0, 5)->sdo; }

    CANopenParser* decoder = nullptr;
};

TEST_F(SdoTest, ExpeditedUploadAndDownload) {
    const int request = Client({0x40, 0x18, 0x10, 0x01, 0, 0, 0, 0});
    EXPECT_EQ(Kind(request), SDO::kInitUploadRequest);
    EXPECT_TRUE(Start(request));
    EXPECT_EQ(At(request).objID, 0x10180001u);
    EXPECT_EQ(State().state, 5);
    Decoded d = Dec(request);
    EXPECT_EQ(d.desc, "SDO->5: get object 0x1018.0x01");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.lines,
              (Lines{"-1 1 0 SDO message to node 5", "0 1 0 SDO control byte: 0x40 (01000000)",
                     "  0 1 0 Command Code: 2 (010xxxxx), Initiate Upload",
                     "1 3 0 CANopen object identifier 0x1018.0x01", "  1 2 0 Object Index: 0x1018",
                     "  3 1 0 Object sub-index: 0x01", "4 4 0 Reserved"}));

    const int response = Node({0x43, 0x18, 0x10, 0x01, 0x78, 0x56, 0x34, 0x12});
    EXPECT_EQ(Kind(response), SDO::kInitUploadResponse);
    EXPECT_FALSE(Start(response));
    EXPECT_EQ(State().state, 1);  // complete
    d = Dec(response);
    EXPECT_EQ(d.desc, "SDO<-5: object 0x1018.0x01 is 0x12345678");
    EXPECT_EQ(d.lines,
              (Lines{"-1 1 0 SDO message from node 5", "0 1 0 SDO control byte: 0x43 (01000011)",
                     "  0 1 0 Command Code: 2 (010xxxxx), Initiate Upload Response",
                     "  0 1 0 Data size (xxxx00xx) indicates 4 bytes of data passed",
                     "  0 1 0 Expedited transfer (xxxxxx1x)",
                     "  0 1 0 Message includes size information (xxxxxxx1)",
                     "1 3 0 CANopen object identifier 0x1018.0x01", "  1 2 0 Object Index: 0x1018",
                     "  3 1 0 Object sub-index: 0x01", "4 4 0 Object data value: 0x12345678"}));
    EXPECT_EQ(Exchange(response), (std::vector<int>{request, response}));

    // Every size indication.
    Client({0x40, 0x00, 0x10, 0x00, 0, 0, 0, 0});
    EXPECT_EQ(Dec(Node({0x47, 0x00, 0x10, 0x00, 0x11, 0x22, 0x33, 0x44})).desc,
              "SDO<-5: object 0x1000 is 0x332211");
    Client({0x40, 0x00, 0x10, 0x00, 0, 0, 0, 0});
    d = Dec(Node({0x4B, 0x00, 0x10, 0x00, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(d.desc, "SDO<-5: object 0x1000 is 0x2211");
    EXPECT_EQ(d.lines.back(), "4 2 0 Object data value: 0x2211");
    Client({0x40, 0x00, 0x10, 0x00, 0, 0, 0, 0});
    d = Dec(Node({0x42, 0x00, 0x10, 0x00, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(d.desc, "SDO<-5: object 0x1000 is 0x44332211");
    EXPECT_EQ(d.lines.back(), "4 4 0 Object value (size unknown): 0x44332211");
    EXPECT_EQ(d.lines[3], "  0 1 0 Expedited transfer (xxxxxx1x)");
    EXPECT_EQ(d.lines[4], "  0 1 0 Message does not include size information (xxxxxxx0)");
    d = Dec(Node({0x4E, 0x00, 0x10, 0x00, 0x11, 0x22, 0x33, 0x44}));  // size bits without s
    EXPECT_EQ(d.lines[3],
              "  0 1 1 Data size field (xxxx11xx) should be zero (not expidited with size)");
    EXPECT_EQ(d.status, 2);  // and out of sequence

    const int download = Client({0x2F, 0x00, 0x20, 0x00, 0x07, 0x00, 0x00, 0x00});
    EXPECT_EQ(Kind(download), SDO::kInitDownloadRequest);
    d = Dec(download);
    EXPECT_EQ(d.desc, "SDO->5: set object 0x2000 to 0x07");
    EXPECT_EQ(d.lines.back(), "4 1 0 Object data value: 0x07");
    const int ok = Node({0x60, 0x00, 0x20, 0x00, 0, 0, 0, 0});
    EXPECT_EQ(Kind(ok), SDO::kInitDownloadResponse);
    EXPECT_EQ(Dec(ok).desc, "SDO<-5: OK");
    EXPECT_EQ(Dec(ok).status, 0);
    EXPECT_EQ(State().state, 1);
    EXPECT_EQ(At(ok).objID, 0x20000000u);
}

TEST_F(SdoTest, SegmentedTransfers) {
    const int begin = Client({0x40, 0x08, 0x10, 0x00, 0, 0, 0, 0});
    Decoded d = Dec(Node({0x41, 0x08, 0x10, 0x00, 0x0B, 0, 0, 0}));
    EXPECT_EQ(d.desc, "SDO<-5: start get data response");
    EXPECT_EQ(d.lines.back(), "4 4 0 Object size to download: 11 bytes");
    EXPECT_EQ(State().state, 6);
    const int more = Client({0x60, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Kind(more), SDO::kUploadSegmentRequest);
    d = Dec(more);
    EXPECT_EQ(d.desc, "SDO->5: get more data");
    EXPECT_EQ(d.lines, (Lines{"-1 1 0 SDO message to node 5", "  0 1 0 Toggle bit (xxx0xxxx)",
                              "1 7 0 Reserved"}));
    const int first = Node({0x00, 'Q', 'u', 'i', 'l', 'l', 'o', 'n'});
    EXPECT_EQ(Kind(first), SDO::kUploadSegmentResponse);
    EXPECT_EQ(Dec(first).desc, "SDO<-5: upload data: 0x51 0x75 0x69 0x6c 0x6c 0x6f 0x6e ");
    EXPECT_EQ(Dec(first).lines[2], "  0 1 0 Data size (xxxx000x) not specified");
    Client({0x70, 0, 0, 0, 0, 0, 0, 0});
    const int lastSegment = Node({0x1B, ' ', '1', 0, 0, 0, 0, 0});
    d = Dec(lastSegment);
    EXPECT_EQ(d.desc, "SDO<-5: upload data: 0x20 0x31 ");
    EXPECT_EQ(d.lines, (Lines{"-1 1 0 SDO message from node 5", "  0 1 0 Toggle bit (xxx1xxxx)",
                              "  0 1 0 Data size (xxxx101x) indicates 2 bytes of data passed",
                              "  0 1 0 This is the last segment of this download (xxxxxxx1)",
                              "1 2 0 Message data"}));
    EXPECT_EQ(State().state, 1);
    EXPECT_EQ(At(lastSegment).objID, 0x10080000u);  // segments carry their transfer's object
    EXPECT_EQ(Exchange(more).front(), begin);
    EXPECT_EQ(Exchange(begin).back(), lastSegment);
    EXPECT_EQ(Exchange(begin).size(), 6u);

    // Download: initiate with size, two segments.
    Client({0x21, 0x00, 0x20, 0x00, 0x0A, 0, 0, 0});
    EXPECT_EQ(State().state, 2);
    Node({0x60, 0x00, 0x20, 0x00, 0, 0, 0, 0});
    const int seg = Client({0x00, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(Kind(seg), SDO::kDownloadSegmentRequest);
    EXPECT_EQ(Dec(seg).desc, "SDO->5: download data: 0x01 0x02 0x03 0x04 0x05 0x06 0x07 ");
    const int segOk = Node({0x20, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Kind(segOk), SDO::kDownloadSegmentResponse);
    EXPECT_EQ(Dec(segOk).desc, "SDO<-5: OK");
    Client({0x19, 8, 9, 10, 0, 0, 0, 0});  // toggle 1, 3 bytes, last
    EXPECT_EQ(State().state, 4);
    d = Dec(Node({0x30, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(State().state, 1);

    // Reserved bits and bytes of a segment request.
    d = Dec(Client({0x6F, 0, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.lines[2], "  0 1 1 Reserved bits (xxxx1111) should not be set");
    EXPECT_EQ(d.lines[3], "1 7 1 Reserved bytes, should be zero");
}

TEST_F(SdoTest, AbortsSequenceMarksAndBadFrames) {
    // The first frame of a node is never out of sequence; after that, an answer nobody asked
    // for is.
    const int orphan = Node({0x00, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(At(orphan).status, 0);
    EXPECT_EQ(State().state, 6);
    Client({0x80, 0, 0, 0, 0, 0, 0, 0});  // abort: idle
    const int unasked = Node({0x00, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(At(unasked).status, 2);

    Client({0x40, 0x18, 0x10, 0x01, 0, 0, 0, 0});
    const int abort = Node({0x80, 0x18, 0x10, 0x01, 0x00, 0x00, 0x02, 0x06});
    EXPECT_EQ(Kind(abort), SDO::kAbort);
    Decoded d = Dec(abort);
    EXPECT_EQ(d.desc,
              "SDO<-5: SDO abort object 0x1018.0x01 reason: 0x06020000 (Object does not exist in "
              "the object dictionary)");
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.lines[1], "  0 1 1 Command Code: 4 (100xxxxx), Abort transfer");
    EXPECT_EQ(d.lines.back(),
              "4 4 0 Abort code: 0x06020000 (Object does not exist in the object dictionary)");
    EXPECT_EQ(State().state, 1);
    EXPECT_EQ(Dec(Client({0x80, 0x00, 0x20, 0x00, 0x78, 0x56, 0x34, 0x12})).desc,
              "SDO->5: SDO abort object 0x2000 reason: 0x12345678");

    const int invalid = Client({0xE0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Kind(invalid), SDO::kInvalid);
    d = Dec(invalid);
    EXPECT_EQ(d.desc, "SDO->5: Invalid SDO transfer type");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "  0 1 2 Command Code: 7 (111xxxxx) is not a valid SDO command code");

    CANframe remote = Frame(0x605, {}, 0, FRAME_RTR);
    d = Decode(*decoder, remote);
    EXPECT_EQ(d.desc, "SDO message ID on remote request?");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(),
              "0 1 2 This is a remote request which doesn't make sense for SDO messages");

    // A short frame is padded with zeros in the store; an empty one is an error.
    CANframe shortFrame = Frame(0x605, {0x40, 0x18, 0x10, 0x01, 0x00, 0xAA, 0xBB, 0xCC}, 5);
    App().msgStore->Add(shortFrame);
    const CANframe stored = At(App().msgStore->GetLast());
    EXPECT_GE(stored.status, 2);
    EXPECT_EQ(stored.data[5], 0);
    EXPECT_EQ(stored.data[7], 0);
    d = Dec(App().msgStore->GetLast());
    EXPECT_EQ(d.lines[1], "0 0 1 Badly formed SDO message.  Should be 8 bytes long");
    const int empty = Client({}, 0);
    d = Dec(empty);
    EXPECT_EQ(d.desc, "SDO with no data!");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "0 0 2 Invalid SDO message.  No data passed");
    EXPECT_EQ(Dec(Client({0x40}, 12)).desc, "SDO->5: get object 0x0000");  // length beyond 8
}

TEST_F(SdoTest, BlockUploadEndToEnd) {
    const int init = Client({0xA4, 0x00, 0x20, 0x00, 0x7F, 0x00, 0, 0});
    EXPECT_EQ(Kind(init), SDO::kBlockUploadClient);
    EXPECT_TRUE(At(init).scanInfo & SDO::kBlockUpload);
    EXPECT_TRUE(Start(init));
    EXPECT_EQ(State().state, 20);
    Decoded d = Dec(init);
    EXPECT_EQ(d.desc, "SDO->5: Start block upload of object 0x2000");
    EXPECT_EQ(d.lines,
              (Lines{"-1 1 0 SDO message to node 5", "0 1 0 SDO control byte: 0xa4 (10100100)",
                     "  0 1 0 Command Code: 5 (101xxxxx), Block Upload",
                     "  0 1 0 Client supports generation of CRC on data (xxxxx1xx)",
                     "  0 1 0 Client sub-command 0 (xxxxxx00) - Initiate block upload request",
                     "1 3 0 CANopen object identifier 0x2000.0x00", "  1 2 0 Object Index: 0x2000",
                     "  3 1 0 Object sub-index: 0x00", "4 1 0 Block size: 127 segments",
                     "5 1 0 Protocol switch (i.e. change to normal upload) not allowed",
                     "6 2 0 Reserved"}));
    const int response = Node({0xC6, 0x00, 0x20, 0x00, 0x0A, 0, 0, 0});
    EXPECT_EQ(State().state, 21);
    EXPECT_EQ(Dec(response).desc, "SDO<-5: OK");
    EXPECT_EQ(Dec(response).lines.back(), "4 4 0 Message data size: 10 bytes");
    Client({0xA3, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(State().state, 22);
    const int seg1 = Node({0x01, 1, 2, 3, 4, 5, 6, 7});
    const int seg2 = Node({0x82, 8, 9, 10, 0, 0, 0, 0});
    EXPECT_EQ(State().lastSeq, 2);
    EXPECT_TRUE(State().last);
    d = Dec(seg1);
    EXPECT_EQ(d.desc, "SDO<-5: block upload data segment 1");  // follows the client's frame
    EXPECT_EQ(d.status, 0);
    d = Dec(seg2);
    EXPECT_EQ(d.desc, "SDO<-5: block upload data segment 2");
    EXPECT_EQ(d.lines, (Lines{"-1 1 0 SDO message from node 5",
                              "0 1 0 Data block control byte: 0x82 (10000010)",
                              "  0 1 0 This is the last segment (1xxxxxxx)",
                              "  0 1 0 Segment number 2 (x0000010)", "1 7 0 Message data"}));
    d = Dec(Client({0xA2, 0x02, 0x7F, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.desc, "SDO->5: Get next block");
    EXPECT_EQ(State().state, 23);
    const int end = Node({0xC9, 0x34, 0x12, 0, 0, 0, 0, 0});
    d = Dec(end);
    EXPECT_EQ(d.desc, "SDO<-5: block upload finished");
    EXPECT_EQ(d.lines[3],
              "  0 1 0 Last 2 (xxx010xx) bytes of previous data message did not contain data");
    EXPECT_EQ(d.lines[5], "1 2 0 Message data CRC 0x1234");
    const int done = Client({0xA1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Dec(done).desc, "SDO->5: End block upload");
    EXPECT_EQ(State().state, 1);
    EXPECT_EQ(At(done).status, 0);
    EXPECT_EQ(Exchange(seg2).front(), init);
    EXPECT_EQ(Exchange(seg2).back(), done);

    // A segment out of order names the one it should have followed; a one-segment sub-block
    // (the last segment right after the client's frame) is still a data segment.
    Client({0xA4, 0x00, 0x20, 0x00, 0x80, 0x15, 0, 0});  // illegal block size, PST 21
    d = Dec(App().msgStore->GetLast());
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines[8], "4 1 2 Illegal block size: 128 segments");
    EXPECT_EQ(d.lines[9],
              "5 1 0 Protocol may be changed to normal upload if data size is <= 21 bytes");
    Node({0xC4, 0x00, 0x20, 0x00, 0, 0, 0, 0});
    Client({0xA3, 0, 0, 0, 0, 0, 0, 0});
    Node({0x01, 1, 2, 3, 4, 5, 6, 7});
    d = Dec(Node({0x03, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.lines[3],
              "  0 1 1 Segment number 3 (x0000011) isn't one greater then previous (1)");
    Client({0xA2, 0x01, 0x7F, 0, 0, 0, 0, 0});
    const int single = Node({0x81, 1, 2, 3, 0, 0, 0, 0});
    EXPECT_EQ(Dec(single).desc, "SDO<-5: block upload data segment 1");
}

TEST_F(SdoTest, BlockDownloadEndToEnd) {
    const int init = Client({0xC6, 0x00, 0x20, 0x01, 0x0A, 0, 0, 0});
    EXPECT_EQ(Kind(init), SDO::kBlockDownloadClient);
    EXPECT_TRUE(Start(init));
    EXPECT_EQ(State().state, 10);
    Decoded d = Dec(init);
    EXPECT_EQ(d.desc, "SDO->5: Start block download of object 0x2000.0x01");
    EXPECT_EQ(d.lines[1], "  0 1 0 Client supports generation of CRC on data (xxxxx1xx)");
    EXPECT_EQ(d.lines[2], "  0 1 0 This message includes data size information (xxxxxx1x)");
    EXPECT_EQ(d.lines.back(), "4 4 0 Message data size: 10 bytes");
    const int response = Node({0xA4, 0x00, 0x20, 0x01, 0x7F, 0, 0, 0});
    EXPECT_EQ(Kind(response), SDO::kBlockDownloadNode);
    EXPECT_EQ(State().state, 12);
    d = Dec(response);
    EXPECT_EQ(d.desc, "SDO<-5: OK");
    EXPECT_EQ(d.lines[1], "  0 1 0 Server supports generation of CRC on data (xxxxx1xx)");
    const int seg1 = Client({0x01, 1, 2, 3, 4, 5, 6, 7});
    const int seg2 = Client({0x82, 8, 9, 10, 0, 0, 0, 0});
    EXPECT_EQ(Dec(seg1).desc, "SDO->5: block download data segment 1");
    EXPECT_EQ(Dec(seg2).desc, "SDO->5: block download data segment 2");
    EXPECT_EQ(At(seg2).objID, 0x20000001u);
    d = Dec(Node({0xA2, 0x02, 0x7F, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.desc, "SDO<-5: download block response");
    EXPECT_EQ(d.lines.back(), "3 5 0 Reserved");
    EXPECT_EQ(State().state, 13);
    d = Dec(Client({0xC9, 0x34, 0x12, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.desc, "SDO->5: block download finished");
    const int done = Node({0xA1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Dec(done).desc, "SDO<-5: OK, download finished");
    EXPECT_EQ(State().state, 1);
    EXPECT_EQ(Exchange(seg1),
              (std::vector<int>{init, response, seg1, seg2, seg2 + 1, seg2 + 2, done}));

    d = Dec(Node({0xA3, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.desc, "SDO<-5: badly formed block download response");
    EXPECT_EQ(d.status, 3);
    EXPECT_EQ(d.lines.back(), "  0 1 0 Invalid server sub-command 3 (xxxxxx11)");
}

}  // namespace
