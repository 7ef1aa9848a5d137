#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "printlayout/file/Colours.h"
#include "printlayout/file/Fields.h"

namespace tessaly {
namespace {

using Strings = std::vector<std::string>;

TEST(SplitFieldsTest, EmptyValueGivesNoFields) {
  const FieldList list = SplitFields("", ',', 5);
  EXPECT_TRUE(list.fields.empty());
  EXPECT_EQ(list.total, 0u);
}

TEST(SplitFieldsTest, SplitsAndKeepsInnerEmptyFields) {
  EXPECT_EQ(SplitFields("a,b,c", ',', 5).fields, (Strings{"a", "b", "c"}));
  EXPECT_EQ(SplitFields("a,,c", ',', 5).fields, (Strings{"a", "", "c"}));
  EXPECT_EQ(SplitFields(",b", ',', 5).fields, (Strings{"", "b"}));
  EXPECT_EQ(SplitFields(" a , b", ',', 5).fields, (Strings{" a ", " b"}));
}

TEST(SplitFieldsTest, TrailingSeparatorAddsNoField) {
  EXPECT_EQ(SplitFields("a,", ',', 5).fields, (Strings{"a"}));
  EXPECT_EQ(SplitFields("a,,", ',', 5).fields, (Strings{"a", ""}));
  EXPECT_EQ(SplitFields(",", ',', 5).fields, (Strings{""}));
  EXPECT_EQ(SplitFields("a,b,", ',', 5).total, 2u);
}

TEST(SplitFieldsTest, FieldsBeyondTheLimitAreCountedButNotKept) {
  const FieldList list = SplitFields("1,2,3,4", ',', 3);
  EXPECT_EQ(list.fields, (Strings{"1", "2", "3"}));
  EXPECT_EQ(list.total, 4u);
  EXPECT_TRUE(list.tooMany(3));
  EXPECT_FALSE(SplitFields("1,2,3", ',', 3).tooMany(3));
  EXPECT_FALSE(SplitFields("1,2,3,", ',', 3).tooMany(3));
  EXPECT_TRUE(SplitFields("a", ',', 0).fields.empty());
}

TEST(SplitFieldsTest, OtherSeparators) {
  EXPECT_EQ(SplitFields("x;y", ';', 5).fields, (Strings{"x", "y"}));
  EXPECT_EQ(SplitFields("x,y", ';', 5).fields, (Strings{"x,y"}));
}

TEST(ParseDecimalTest, ReadsLikeAtoi) {
  EXPECT_EQ(ParseDecimal("12abc"), 12);
  EXPECT_EQ(ParseDecimal(" 7"), 7);
  EXPECT_EQ(ParseDecimal("\t-35"), -35);
  EXPECT_EQ(ParseDecimal("+8"), 8);
  EXPECT_EQ(ParseDecimal(""), 0);
  EXPECT_EQ(ParseDecimal("abc"), 0);
  EXPECT_EQ(ParseDecimal("-"), 0);
  EXPECT_EQ(ParseDecimal("- 5"), 0);
  EXPECT_EQ(ParseDecimal("0x10"), 0);
}

TEST(ParseDecimalTest, ReportsConsumedCharacters) {
  std::size_t used = 99;
  ParseDecimal(" -42x", &used);
  EXPECT_EQ(used, 4u);
  ParseDecimal("x", &used);
  EXPECT_EQ(used, 0u);
}

TEST(ParseDecimalTest, SaturatesOutsideTheRange) {
  EXPECT_EQ(ParseDecimal("2147483647"), INT32_MAX);
  EXPECT_EQ(ParseDecimal("2147483648"), INT32_MAX);
  EXPECT_EQ(ParseDecimal("99999999999999999999999"), INT32_MAX);
  EXPECT_EQ(ParseDecimal("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseDecimal("-99999999999999999999"), INT32_MIN);
}

TEST(ParseHexTest, ReadsLikeStrtoul) {
  EXPECT_EQ(ParseHex("F0F"), 0xF0Fu);
  EXPECT_EQ(ParseHex("f0f"), 0xF0Fu);
  EXPECT_EQ(ParseHex("0x1A"), 0x1Au);
  EXPECT_EQ(ParseHex(" 10z"), 0x10u);
  EXPECT_EQ(ParseHex(""), 0u);
  EXPECT_EQ(ParseHex("zz"), 0u);
  std::size_t used = 99;
  EXPECT_EQ(ParseHex("0x", &used), 0u);
  EXPECT_EQ(used, 1u);  // the "0" is the number, the "x" is left over
  EXPECT_EQ(ParseHex("-1", &used), 0u);
  EXPECT_EQ(used, 0u);
}

TEST(ParseHexTest, OverflowSaturatesAndIsReported) {
  bool overflow = false;
  EXPECT_EQ(ParseHex("FFFFFFFF", nullptr, &overflow), 0xFFFFFFFFu);
  EXPECT_FALSE(overflow);
  EXPECT_EQ(ParseHex("123456789", nullptr, &overflow), 0xFFFFFFFFu);
  EXPECT_TRUE(overflow);
}

TEST(ParseColourTest, NamesIgnoreCase) {
  EXPECT_EQ(ParseColour("Red"), 0x0000FFu);
  EXPECT_EQ(ParseColour("RED"), 0x0000FFu);
  EXPECT_EQ(ParseColour("dark olive green"), 0x404000u);
  EXPECT_EQ(ParseColour("Grey - 40"), 0x666666u);
  EXPECT_EQ(ParseColour("Black"), 0x000000u);
  EXPECT_EQ(ParseColour("white"), 0xFFFFFFu);
}

TEST(ParseColourTest, PaleGreenNeedsItsTrailingBlank) {
  EXPECT_EQ(ParseColour("Pale green "), 0x98FB98u);
  EXPECT_EQ(ParseColour("pale GREEN "), 0x98FB98u);
  EXPECT_EQ(ParseColour("Pale green"), kMissingColour);
}

TEST(ParseColourTest, HexNumbers) {
  EXPECT_EQ(ParseColour("0000FF"), 0x0000FFu);
  EXPECT_EQ(ParseColour("c0c0c0"), 0xC0C0C0u);
  EXPECT_EQ(ParseColour("0x808080"), 0x808080u);
  // No name, but a number all the same.
  EXPECT_EQ(ParseColour("Bad"), 0xBADu);
  // No name, and the hex digits at its start leave a character over.
  EXPECT_EQ(ParseColour("Bag"), kMissingColour);
}

TEST(ParseColourTest, FailedColours) {
  EXPECT_EQ(ParseColour(""), kMissingColour);
  EXPECT_EQ(ParseColour(" "), kMissingColour);
  EXPECT_EQ(ParseColour("12G"), kMissingColour);
  EXPECT_EQ(ParseColour("FF "), kMissingColour);
  EXPECT_EQ(ParseColour("Redd"), kMissingColour);
  EXPECT_EQ(ParseColour("100000000"), kMissingColour);
  EXPECT_EQ(ParseColour("-1"), kMissingColour);
}

TEST(ParseColourTest, TableHasFortyDistinctNames) {
  std::size_t count = 0;
  const NamedColour* names = ColourNames(&count);
  ASSERT_EQ(count, 40u);
  std::set<std::string> lower;
  for (std::size_t i = 0; i < count; ++i) {
    lower.insert(LowerAscii(names[i].name));
    EXPECT_EQ(ParseColour(names[i].name), names[i].value) << names[i].name;
    EXPECT_EQ(names[i].value & 0xFF000000u, 0u) << names[i].name;
  }
  EXPECT_EQ(lower.size(), count);
}

}  // namespace
}  // namespace tessaly
