#include <gtest/gtest.h>

#include <map>

#include "sim/sdo_client.h"
#include "sim/sdo_server.h"

namespace {

constexpr uint32_t kKey = 0x21000000;

// Runs a transfer between the master's client and a node's server to its end.
SdoClient::Result Transfer(SdoClient& client, SdoServer& server,
                           std::map<uint32_t, ObjValue>& objects, SdoTransfer transfer,
                           const std::vector<uint8_t>& data) {
    std::vector<SdoPayload> requests, answers;
    client.Begin(transfer, kKey, data, requests);
    SdoClient::Result result = SdoClient::Result::kBusy;
    for (int rounds = 0; !requests.empty() && rounds < 1000; ++rounds) {
        answers.clear();
        for (const SdoPayload& r : requests) server.Request(r, objects, answers);
        requests.clear();
        for (const SdoPayload& a : answers) result = client.Response(a, requests);
    }
    return result;
}

std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>('a' + i % 26);
    return bytes;
}

}  // namespace

// Every transfer moves values of every length between client and server unchanged; sizes
// around the 4-byte expedited limit, the 7-byte segments and the sub-blocks of 2 segments.
TEST(SdoTransferTest, ValuesArriveWhole) {
    const SdoTransfer kTransfers[] = {SdoTransfer::kUpload, SdoTransfer::kExpeditedDownload,
                                      SdoTransfer::kSegmentedDownload, SdoTransfer::kBlockUpload,
                                      SdoTransfer::kBlockDownload};
    for (SdoTransfer transfer : kTransfers) {
        for (size_t size : {1, 3, 4, 5, 7, 8, 13, 14, 15, 21, 22, 40}) {
            if (transfer == SdoTransfer::kExpeditedDownload && size > 4) continue;
            SCOPED_TRACE(testing::Message() << static_cast<int>(transfer) << " size " << size);
            std::map<uint32_t, ObjValue> objects{{kKey, ObjValue{0x09, true, Bytes(size)}}};
            const std::vector<uint8_t> written(size, 0x5A);
            SdoClient client;
            SdoServer server;
            ASSERT_EQ(Transfer(client, server, objects, transfer, written),
                      SdoClient::Result::kDone);
            EXPECT_FALSE(client.Busy());
            if (transfer == SdoTransfer::kUpload || transfer == SdoTransfer::kBlockUpload)
                EXPECT_EQ(client.Data(), Bytes(size));
            else
                EXPECT_EQ(objects[kKey].bytes, written);
        }
    }
    // Both ends use the one CRC, which a round trip cannot check: its check value.
    EXPECT_EQ(SdoBlockCrc(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x31C3);
}

TEST(SdoTransferTest, ServerRefusesWhatItCannotDo) {
    std::map<uint32_t, ObjValue> objects{{kKey, ObjValue{0x07, false, {1, 2, 3, 4}}}};
    SdoClient client;
    SdoServer server;
    std::vector<SdoPayload> out;
    server.Request(SdoPayload{0x40, 0x00, 0x20, 0x00}, objects, out);  // no object 0x2000
    server.Request(SdoPayload{0x23, 0x00, 0x21, 0x00, 9, 9, 9, 9}, objects, out);  // read only
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], SdoAbortFrame(0x20000000, kAbortNoObject));
    EXPECT_EQ(out[1], SdoAbortFrame(kKey, kAbortReadOnly));
    EXPECT_EQ(Transfer(client, server, objects, SdoTransfer::kBlockDownload, {1}),
              SdoClient::Result::kFailed);
    EXPECT_EQ(objects[kKey].bytes, (std::vector<uint8_t>{1, 2, 3, 4}));
}
