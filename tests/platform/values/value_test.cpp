#include "platform/values/value.h"

#include <gtest/gtest.h>

using namespace values;

TEST(Value, NumbersKeepWidthAndCompareAcrossKinds) {
  Value a(std::int16_t{7});
  EXPECT_EQ(a.AsNumber()->kind, Number::Kind::kInt16);
  EXPECT_EQ(Value(7), Value(7.0));
  EXPECT_EQ(Value(std::uint64_t{0xFFFFFFFFFFFFFFFFull}).AsNumber()->kind, Number::Kind::kUInt64);
  EXPECT_NE(Value(std::uint64_t{0xFFFFFFFFFFFFFFFFull}), Value(-1));
  EXPECT_EQ(Value(4294967295u).AsNumber()->AsInt64(), 4294967295LL);
}

TEST(Value, TypedLookupsTellMissingFromWrongType) {
  Value d{{"n", 3}, {"s", "x"}};
  std::int64_t n = 0;
  std::string s;
  EXPECT_EQ(d.GetInt64("n", n), Lookup::kOk);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(d.GetInt64("s", n), Lookup::kWrongType);
  EXPECT_EQ(d.GetString("nope", s), Lookup::kMissing);
}

TEST(Value, CopiesAreDeep) {
  Value d{{"a", Array{1, 2}}};
  Value copy = d;
  copy.Find("a")->Append(3);
  EXPECT_EQ(d.Find("a")->Count(), 2u);
  EXPECT_EQ(copy.Find("a")->Count(), 3u);
  EXPECT_NE(d, copy);
}

TEST(Value, SetsCompareWithoutOrder) {
  Set a, b;
  a.Add("x");
  a.Add("y");
  EXPECT_FALSE(a.Add("x"));
  b.Add("y");
  b.Add("x");
  EXPECT_EQ(Value(a), Value(b));
}
