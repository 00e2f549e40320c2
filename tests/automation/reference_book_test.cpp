// Reference bookkeeping per client connection.
#include "automation/reference_book.h"

#include <gtest/gtest.h>

namespace {

using Held = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

TEST(ReferenceBook, CountsPerClientAndInTotal) {
    tdbus::ReferenceBook book;
    EXPECT_EQ(book.Take(":1.5", 1), 1u);
    EXPECT_EQ(book.Take(":1.6", 1), 2u);
    EXPECT_EQ(book.Take(":1.5", 1), 3u);
    EXPECT_EQ(book.Take(":1.5", 2), 1u);
    EXPECT_EQ(book.Held(":1.5", 1), 2u);
    EXPECT_EQ(book.Total(1), 3u);

    // A client cannot drop what another holds.
    EXPECT_EQ(book.Drop(":1.7", 1), std::nullopt);
    EXPECT_EQ(book.Drop(":1.6", 2), std::nullopt);
    EXPECT_EQ(book.Drop(":1.6", 1), 2u);
    EXPECT_EQ(book.Drop(":1.6", 1), std::nullopt);
    EXPECT_FALSE(book.Knows(":1.6"));

    EXPECT_EQ(book.DropClient(":1.5"), (Held{{1, 2}, {2, 1}}));
    EXPECT_EQ(book.Total(1), 0u);
    EXPECT_EQ(book.Total(2), 0u);
    EXPECT_TRUE(book.DropClient(":1.5").empty());
}

TEST(ReferenceBook, ForgetDropsAnObjectFromEveryClient) {
    tdbus::ReferenceBook book;
    book.Take("a", 1);
    book.Take("b", 1);
    book.Take("b", 2);
    book.Forget(1);
    EXPECT_EQ(book.Total(1), 0u);
    EXPECT_FALSE(book.Knows("a"));
    EXPECT_EQ(book.DropClient("b"), (Held{{2, 1}}));
}

}  // namespace
