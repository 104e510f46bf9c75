#include "base/text_format.h"

#include <gtest/gtest.h>

TEST(text_format, placeholders_take_their_arguments_in_any_order) {
    EXPECT_EQ(format_text(u"{2} of {1}", {u"10", u"3"}), u"3 of 10");
    EXPECT_EQ(format_text(u"{1}{1}", {u"ab"}), u"abab");
    EXPECT_EQ(format_text(u"{1}Version {2} {3}", {u"", u"Dec  8 2026", u"19:00:00"}),
              u"Version Dec  8 2026 19:00:00");
}

TEST(text_format, a_placeholder_without_an_argument_stays_as_written) {
    EXPECT_EQ(format_text(u"{1} and {2} and {0} and {x} and {", {u"one"}), u"one and {2} and {0} and {x} and {");
    EXPECT_EQ(format_text(u"100% {1}", {}), u"100% {1}");
    EXPECT_EQ(format_text(u"%s %d %n", {u"x"}), u"%s %d %n");
}

TEST(text_format, decimal_text_covers_the_whole_64_bit_range) {
    EXPECT_EQ(decimal_text(uint64_t(0)), u"0");
    EXPECT_EQ(decimal_text(uint64_t(18446744073709551615ull)), u"18446744073709551615");
    EXPECT_EQ(decimal_text(int64_t(-9223372036854775807ll - 1)), u"-9223372036854775808");
}
