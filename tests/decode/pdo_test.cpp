// PDO frames decode by the mapping in force when they arrived, whenever they are drawn: after a
// remapping, after the store has wrapped, through a filtered view. What they decode to is
// checked by quillon-dump's golden case pdo.detail.txt.

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "decode/canopen_parser.h"
#include "decode/decode_helpers.h"
#include "io/log_parser.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "store/store_helpers.h"
#include "support/test_support.h"

namespace {

TEST(PdoTest, FramesDecodeLaterAsTheyDidOnArrival) {
    TestDictionaries names({{5, "pdo_drive.eds"}, {6, "pdo_drive.dcf"}, {8, "pdo_io.eds"}});
    for (const int capacity : {200, 80}) {
        MsgStore store(capacity);
        CANopenParser parser(&store, &names);
        store.SetDecoder(&parser);
        std::map<int, Lines> arrivals;  // each frame decoded as soon as the store took it in
        TestFilter pdos;
        pdos.test = [](const CANframe& f) { return f.id >= 0x180 && f.id < 0x580; };
        FiltStore view(store, pdos);
        std::istringstream log(ReadFile(TEST_DATA_DIR "/pdo.log"));
        CANframe f;
        for (std::string line; std::getline(log, line);) {
            if (!QuillonLogParser().Parse(line.data(), f)) continue;
            store.Add(f);
            ASSERT_TRUE(store.Get(store.GetLast(), f));
            arrivals[store.GetLast()] = Decode(parser, f);
        }
        // In the store that wrapped, the transfers of the SDO frames are partly gone: only the
        // PDO frames are compared there.
        for (int i = store.GetFirst(); capacity == 200 && i <= store.GetLast(); i++)
            EXPECT_TRUE(store.Get(i, f) && Decode(parser, f) == arrivals[i]) << i;
        int pdoFrames = 0;
        for (int i = view.GetFirst(); i <= view.GetLast(); i++) {
            const int index = view.GetStoreIndex(i);
            if (!view.Get(i, f)) continue;
            EXPECT_EQ(Decode(parser, f), arrivals[index]) << index;
            pdoFrames++;
        }
        EXPECT_GE(pdoFrames, capacity == 200 ? 20 : 5);
    }
}

}  // namespace
