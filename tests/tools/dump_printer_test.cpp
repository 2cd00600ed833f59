// quillon-dump's printing of frames, run in the test's own session.

#include "tools/dump_printer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>

#include "decode/parser.h"
#include "io/log_reader.h"
#include "session/session.h"
#include "status/network_status.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "support/test_support.h"

namespace {

const std::string kData = TEST_DATA_DIR;

// What quillon-dump prints for the log at path, in a session whose store counts from start, and
// the first frames of the SDO transfers the network status kept.
struct Printed {
    std::string out;
    std::vector<StoreIndex> transfers;
};
Printed Print(const std::string& path, const DumpOptions& options, StoreIndex start) {
    Session session(nullptr, nullptr, 1 << 16);
    session.SetParserMode(PARSE_CANOPEN);
    session.CreateStores(1 << 16, start);
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    {
        DumpPrinter printer(session.view(), session.store(), *session.decoder(), options, out);
        session.view().AddStoreListener(&printer);
        auto reader = OpenLogFile(path);
        CANframe frame;
        try {
            for (;;)
                if (reader->getNextFrame(frame)) session.store().Add(frame);
        } catch (const EndOfFileException&) {
        }
        session.view().DelStoreListener(&printer);
    }
    std::fclose(out);
    Printed p{text, {}};
    std::free(text);
    for (const TransferRecord& t : session.status().Snapshot().transfers)
        p.transfers.push_back(t.firstFrame);
    return p;
}

// text with every number after one of the keys moved on by offset (-1, none, stays).
std::string Shifted(const std::string& text, const std::regex& number, StoreIndex offset) {
    std::string out;
    auto end = std::sregex_iterator();
    size_t at = 0;
    for (auto m = std::sregex_iterator(text.begin(), text.end(), number); m != end; ++m) {
        const auto& digits = (*m)[2];
        out.append(text, at, static_cast<size_t>(digits.first - text.begin()) - at);
        const StoreIndex n = std::stoll(digits.str());
        out += std::to_string(n < 0 ? n : n + offset);
        at = static_cast<size_t>(digits.second - text.begin());
    }
    return out + text.substr(at);
}

// Message numbers past 2^31 and 2^32, in a store whose count starts just below: the rows, the
// JSON lines (msg, and the links of SDO exchanges) and the decoded SDO values, which follow those
// links back through the store, are those of the run from 0 with the numbers moved on, and so
// are the transfers' first frames in the network status.
TEST(DumpPrinterTest, MessageNumbersPastTwoToThe31AndThe32) {
    const std::regex row("(^|\n)[0-9]+\t(-?[0-9]+)"), json("\"(msg|txPrev|txNext)\":(-?[0-9]+)");
    DumpOptions text, lines;
    text.detail = lines.detail = true;
    lines.json = true;
    const std::string log = kData + "/sdo_cases.log";
    const Printed fromZero = Print(log, text, 0);
    ASSERT_EQ(fromZero.out, ReadFile(kData + "/sdo_cases.detail.txt"));
    ASSERT_FALSE(fromZero.transfers.empty());
    for (const StoreIndex start : {(StoreIndex{1} << 31) - 40, (StoreIndex{1} << 32) - 40}) {
        SCOPED_TRACE(start);
        const Printed rows = Print(log, text, start);
        EXPECT_EQ(rows.out, Shifted(fromZero.out, row, start));
        EXPECT_EQ(Print(log, lines, start).out,
                  Shifted(ReadFile(kData + "/sdo_cases.detail.jsonl"), json, start));
        ASSERT_EQ(rows.transfers.size(), fromZero.transfers.size());
        for (size_t i = 0; i < rows.transfers.size(); i++)
            EXPECT_EQ(rows.transfers[i], fromZero.transfers[i] + start) << i;
    }
}

}  // namespace
