#include "table/written_pages.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace nagare {
namespace {

constexpr size_t PAGE = size_t{1} << WrittenPages::PAGE_SHIFT;

// A range counts as written only when every page it touches was marked, whichever mark reached it.
TEST(WrittenPages, ARangeIsWrittenWhenEveryPageItTouchesIs) {
    struct Case {
        const char* name;
        std::vector<std::pair<size_t, size_t>> marks;  // offset, length
        size_t offset, length;
        bool written;
    };
    const Case cases[] = {
        {"nothing marked", {}, 100, 20, false},
        {"the same entry", {{100, 20}}, 100, 20, true},
        {"another entry on the page", {{100, 20}}, 3000, 20, true},
        {"the next page", {{100, 20}}, PAGE + 100, 20, false},
        {"an entry across two pages, marked", {{PAGE - 8, 20}}, PAGE - 8, 20, true},
        {"its second page alone", {{PAGE + 50, 20}}, PAGE - 8, 20, false},
        {"its first page alone", {{PAGE - 100, 20}}, PAGE - 8, 20, false},
        {"both pages by other entries", {{PAGE - 100, 20}, {PAGE + 50, 20}}, PAGE - 8, 20, true},
        {"the last page of the block", {{9 * PAGE + 10, 20}}, 9 * PAGE + 100, 20, true},
    };
    std::vector<char> block(10 * PAGE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WrittenPages pages;
        ASSERT_TRUE(pages.create(block.data(), block.size()));
        for (auto [offset, length] : c.marks) pages.mark(block.data() + offset, length);
        EXPECT_EQ(pages.written(block.data() + c.offset, c.length), c.written);
    }
}

TEST(WrittenPages, MarkAllCoversTheWholeBlock) {
    std::vector<char> block(3 * PAGE + 7);
    WrittenPages pages;
    ASSERT_TRUE(pages.create(block.data(), block.size()));
    pages.markAll();
    for (size_t offset : {size_t{0}, PAGE - 1, 2 * PAGE + 5, block.size() - 20})
        EXPECT_TRUE(pages.written(block.data() + offset, 20)) << offset;
}

}  // namespace
}  // namespace nagare
