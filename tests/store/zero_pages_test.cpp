// The ring memory's helper never holds pages far ahead of the writer, and leaves what the writer
// wrote as it was.

#include "store/zero_pages.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

#include "support/test_support.h"

namespace {

constexpr size_t kMiB = size_t{1} << 20;

// How many pages of [from, to) are in memory.
size_t Resident(char* base, size_t from, size_t to) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in((to - from + page - 1) / page);
    if (mincore(base + from, to - from, in.data()) != 0) {
        ADD_FAILURE() << "mincore failed";
        return in.size();
    }
    size_t n = 0;
    for (unsigned char c : in) n += c & 1;
    return n;
}

TEST(ZeroPagesTest, HoldsPagesOnlyAShortWayAheadAndKeepsWhatWasWritten) {
    const size_t size = 64 * kMiB, written = 16 * kMiB;
    ZeroPages pages(size);
    char* base = static_cast<char*>(pages.data());
    ASSERT_NE(base, nullptr);
    for (size_t at = 0; at < written; at += 1000) {
        pages.Reach(at + 1);
        base[at] = static_cast<char>(at / 1000 % 251 + 1);
    }
    // Beyond what was reached, the helper holds at most kAhead and two huge pages of rounding,
    // also once it has done all it was asked to.
    ASSERT_TRUE(pages.WaitIdle(kPatience)) << "the helper is still supplying pages";
    const size_t bound = written + ZeroPages::kAhead + 4 * kMiB;
    EXPECT_EQ(Resident(base, bound, size), 0u);
    size_t wrong = 0;
    for (size_t at = 0; at < written; at++)
        wrong += base[at] != (at % 1000 ? 0 : static_cast<char>(at / 1000 % 251 + 1));
    EXPECT_EQ(wrong, 0u);
}

}  // namespace
