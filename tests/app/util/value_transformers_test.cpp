#include "app/util/text/value_transformers.h"

#include <gtest/gtest.h>

namespace {

TEST(ByteUnitsTransformer, UnitsByPowersOf1024) {
  util::ByteUnitsTransformer t;
  const std::pair<values::Value, const char*> cases[] = {
      {values::Value(), "----"},
      {values::Value(0), "----"},
      {values::Value(-5), "----"},
      {values::Value(1023), "1023.0 bytes"},
      {values::Value(1536), "1.5 KB"},
      {values::Value(1048576), "1.0 MB"},
      {values::Value(1073741824LL * 3 / 2), "1.5 GB"},
      {values::Value(1099511627776LL), "1.0 TB"},
      {values::Value("2048"), "2.0 KB"},  // numeric text reads as its number
  };
  for (const auto& [in, out] : cases) {
    util::TransformResult r = t.Transform(in);
    ASSERT_TRUE(r.ok()) << in.Describe();
    EXPECT_EQ(r.value, values::Value(out)) << in.Describe();
  }
  util::TransformResult bad = t.Transform(values::Value(values::Array{1}));
  EXPECT_FALSE(bad.ok());
  EXPECT_NE(bad.error->find("does not respond to -floatValue."), std::string::npos);
}

TEST(ByteFormatter, AddsTheExactCount) {
  util::ByteFormatter t;
  EXPECT_EQ(t.Transform(values::Value(1536)).value, values::Value("1.5 KB (1536 bytes)"));
  EXPECT_EQ(t.Transform(values::Value(1099511627776LL)).value, values::Value("1.0 TB (1099511627776 bytes)"));
  EXPECT_EQ(t.Transform(values::Value(0)).value, values::Value("----"));
  EXPECT_FALSE(t.AllowsReverseTransformation());
  EXPECT_FALSE(t.ReverseTransform(values::Value(1)).ok());
}

TEST(SecondsToMinutesTransformer, TruncatesTowardZeroAndReverses) {
  util::SecondsToMinutesTransformer t;
  EXPECT_EQ(t.Transform(values::Value(119)).value, values::Value(1));
  EXPECT_EQ(t.Transform(values::Value(-119)).value, values::Value(-1));
  EXPECT_EQ(t.Transform(values::Value(120.9)).value, values::Value(2));
  EXPECT_TRUE(t.AllowsReverseTransformation());
  EXPECT_EQ(t.ReverseTransform(values::Value(2)).value, values::Value(120));
  EXPECT_FALSE(t.Transform(values::Value(values::Dictionary{})).ok());
}

TEST(ValueTransformers, RegisteredByName) {
  util::RegisterStandardValueTransformers();
  for (const char* name : {"ByteUnitsTransformer", "ByteFormatter", "SecondsToMinutesTransformer"}) {
    EXPECT_NE(util::GetValueTransformer(name), nullptr) << name;
  }
  EXPECT_EQ(util::GetValueTransformer("NoSuchTransformer"), nullptr);
  EXPECT_EQ(util::GetValueTransformer("SecondsToMinutesTransformer")->Transform(values::Value(600)).value,
            values::Value(10));
}

}  // namespace
