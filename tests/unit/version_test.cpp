// The two version orders: the exact text order and the order by value.
#include <gtest/gtest.h>

#include <string>

#include "packages/product_queries.h"

namespace {

struct Row {
  WString left;
  WString right;
  int byValue;  // CompareVersions
  int asText;   // CompareExactly
};

const WString kHugeDigits(5000, u'9');

// Tests both orders on one table; each row is also checked mirrored.
TEST(VersionTest, OrdersOnTable) {
  const Row rows[] = {
      {u"2.0.10000", u"2.0.9999", 1, -1},
      {u"2.0.9999", u"2.0.10000", -1, 1},
      {u"2.0", u"2.0.0", 0, -1},
      {u"2.0.0.0", u"2", 0, 1},
      {u"10", u"9", 1, -1},
      {u"1.2.3.4", u"1.2.3", 1, 1},
      {u"1.2.3.0", u"1.2.3", 0, 1},
      {u"2.0.9999", u"2.0.9999", 0, 0},
      {u"", u"", 0, 0},
      {u"", u"0", -1, -1},
      {u"", u"2.0.0", -1, -1},
      {u"02.00.010", u"2.0.10", 0, -1},
      {u"2.0.65536", u"2.0.65535", 1, 1},
      {u"2.0.4294967296", u"2.0.4294967295", 1, 1},
      {u"2.0.18446744073709551617", u"2.0.18446744073709551616", 1, 1},
      {u"1." + kHugeDigits, u"1." + kHugeDigits, 0, 0},
      {u"1." + kHugeDigits + u"8", u"1." + kHugeDigits + u"9", -1, -1},
      {u"1.1" + kHugeDigits, u"1.9" + kHugeDigits.substr(1), 1, -1},
      {u"2.0.beta", u"2.0.alpha", 1, 1},
      {u"2.0.1", u"2.0.beta", -1, -1},
      {u"2.1.beta", u"2.0.gamma", 1, 1},
      {u"2.0.b", u"2.0", 1, 1},
      {u"2.0.rc1", u"2.0.rc1", 0, 0},
      {u"2..1", u"2.0.1", -1, -1},
      {u"2.0.", u"2.0", -1, 1},
      {u"v2", u"10", 1, 1},
      {u"2.0.0", u"2.0.1", -1, -1},
      {u"Версия 2", u"Версия 10", 1, 1},
      {u"2.0.\xFFFF", u"2.0.\x0100", 1, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ToUtf8(row.left).substr(0, 60) + " vs " + ToUtf8(row.right).substr(0, 60));
    EXPECT_EQ(CompareVersions(row.left, row.right), row.byValue);
    EXPECT_EQ(CompareVersions(row.right, row.left), -row.byValue);
    EXPECT_EQ(CompareExactly(row.left, row.right), row.asText);
    EXPECT_EQ(CompareExactly(row.right, row.left), -row.asText);
  }
}

// Tests that the text order is by code unit value, not case-folded or by
// locale: "A" (0x41) before "a" (0x61), Cyrillic after Latin.
TEST(VersionTest, TextOrderIsByCodeUnit) {
  EXPECT_EQ(CompareExactly(u"A", u"a"), -1);
  EXPECT_EQ(CompareExactly(u"я", u"z"), 1);
  EXPECT_EQ(CompareExactly(u"ab", u"a"), 1);
}

// Tests that a version of many thousand fields compares without trouble.
TEST(VersionTest, ManyFields) {
  WString left;
  for (int i = 0; i < 20000; ++i) left += u"1.";
  WString right = left + u"1";
  left += u"2";
  EXPECT_EQ(CompareVersions(left, right), 1);
  EXPECT_EQ(CompareVersions(left + u".0.0", left), 0);
}

}  // namespace
