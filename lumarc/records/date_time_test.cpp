// The record date-time's text forms and calendar arithmetic.
#include "lumarc/records/date_time.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

TEST(DateTime, TextParseAndAddSeconds) {
  DateTime t{2024, 12, 31, 23, 59, 59};
  EXPECT_EQ(dateTimeText(t), "2024-12-31 23:59:59");
  DateTime u;
  ASSERT_TRUE(parseDateTime("2024-12-31 23:59:59.000", u));
  EXPECT_EQ(u, t);
  ASSERT_TRUE(parseDateTime("2024-12-31T23:59:59", u));
  EXPECT_EQ(u, t);
  ASSERT_TRUE(parseDateTime("12/31/24 23:59:59", u));
  EXPECT_EQ(u, t);
  ASSERT_TRUE(parseDateTime("12/31/1998 23:59:59", u));
  EXPECT_EQ(u, (DateTime{1998, 12, 31, 23, 59, 59}));
  ASSERT_TRUE(parseDateTime("2024-02-03", u));
  EXPECT_EQ(u, (DateTime{2024, 2, 3, 0, 0, 0}));
  EXPECT_FALSE(parseDateTime("yesterday", u));
  EXPECT_EQ(addSeconds(t, 1), (DateTime{2025, 1, 1, 0, 0, 0}));
  EXPECT_EQ(addSeconds(DateTime{2024, 2, 28, 23, 59, 59}, 1), (DateTime{2024, 2, 29, 0, 0, 0}));
  EXPECT_EQ(addSeconds(DateTime{1899, 12, 30, 10, 0, 0}, 3600), (DateTime{1899, 12, 30, 11, 0, 0}));
}

}  // namespace
}  // namespace lumarc
