#include "sim/eds_values.h"

#include <gtest/gtest.h>

#include "base/utils.h"
#include "support/test_support.h"

// Default values sized by their type, node-IDs added, commented and array objects left out.
TEST(EdsValuesTest, DefaultValuesSizedByType) {
    const auto values = EdsValues::Load(TEST_DATA_DIR "/../../sim/data/values.eds", 5);
    struct Row {
        uint32_t key;
        std::vector<uint8_t> bytes;
        bool writable;
    };
    const Row kRows[] = {
        {0x10000000, {0x92, 0x01, 0x02, 0x00}, false},
        {0x14000001, {0x05, 0x02, 0x00, 0x00}, false},
        {0x18000001, {0x85, 0x01, 0x00, 0x00}, false},
        {0x20000000, {0xFE, 0xFF}, true},
        {0x20010000, {'H', 'e', 'l', 'l', 'o', ' ', 'n', 'o', 'd', 'e'}, false},
        {0x20020000, {0x00, 0x00, 0xC0, 0x3F}, false},
        {0x20040000, {0x00}, true},
    };
    EXPECT_EQ(values.size(), std::size(kRows));
    for (const Row& row : kRows) {
        auto it = values.find(row.key);
        ASSERT_NE(it, values.end()) << std::hex << row.key;
        EXPECT_EQ(it->second.bytes, row.bytes) << std::hex << row.key;
        EXPECT_EQ(it->second.writable, row.writable) << std::hex << row.key;
    }
}

// A byte-order mark before the first section leaves that section in place.
TEST(EdsValuesTest, ByteOrderMarkIsNoPartOfTheFirstSection) {
    TempDir dir;
    WriteFile(dir.file("marked.eds"),
              std::string(kByteOrderMark) + "[1000]\nDataType=0x0007\nDefaultValue=0x192\n");
    const auto values = EdsValues::Load(dir.file("marked.eds"), 5);
    ASSERT_EQ(values.count(0x10000000), 1u);
    EXPECT_EQ(values.at(0x10000000).bytes, std::vector<uint8_t>({0x92, 0x01, 0x00, 0x00}));
}
