#include "app/physical_memory.h"

#include <gtest/gtest.h>

TEST(physical_memory, the_worker_starts_from_exactly_1000_mebibytes) {
    EXPECT_TRUE(should_start_thumbnail_worker(1048576000));
    EXPECT_FALSE(should_start_thumbnail_worker(1048575999));
    EXPECT_TRUE(should_start_thumbnail_worker(2ull * 536870912));  // two 512 MiB modules
    EXPECT_FALSE(should_start_thumbnail_worker(0));                 // unknown
}

TEST(physical_memory, capacity_text_is_plain_decimal_that_fits_64_bits) {
    uint64_t bytes = 7;
    EXPECT_TRUE(parse_capacity_text(u"8589934592", bytes));
    EXPECT_EQ(bytes, 8589934592ull);
    EXPECT_TRUE(parse_capacity_text(u"18446744073709551615", bytes));
    EXPECT_EQ(bytes, 18446744073709551615ull);
    bytes = 7;
    EXPECT_FALSE(parse_capacity_text(u"18446744073709551616", bytes));
    EXPECT_FALSE(parse_capacity_text(u"", bytes));
    EXPECT_FALSE(parse_capacity_text(u"12 GB", bytes));
    EXPECT_FALSE(parse_capacity_text(u"-1", bytes));
    EXPECT_EQ(bytes, 7u);
}
