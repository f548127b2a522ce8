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
  for (const char* name : {"ByteUnitsTransformer", "ByteFormatter", "SecondsToMinutesTransformer",
                           "bytesToKbytes", "EditableCopyTransformer", "ConcatenateStringArrayTransformer"}) {
    EXPECT_NE(util::GetValueTransformer(name), nullptr) << name;
  }
  EXPECT_EQ(util::GetValueTransformer("NoSuchTransformer"), nullptr);
  EXPECT_EQ(util::GetValueTransformer("SecondsToMinutesTransformer")->Transform(values::Value(600)).value,
            values::Value(10));
}

TEST(BytesToKBytesTransformer, DividesTowardZeroAndMultipliesBack) {
  util::BytesToKBytesTransformer t;
  const std::pair<values::Value, const char*> forward[] = {
      {values::Value(0), "0"},      {values::Value(1023), "0"},
      {values::Value(-1023), "0"},  {values::Value(1024), "1"},
      {values::Value(-2049), "-2"}, {values::Value(16384), "16"},
      {values::Value("7000"), "6"}, {values::Value(), "0"},
      {values::Value(true), "0"},   {values::Value(5000000000LL), "4882812"},
  };
  for (const auto& [in, out] : forward) {
    util::TransformResult r = t.Transform(in);
    ASSERT_TRUE(r.ok()) << in.Describe();
    EXPECT_EQ(r.value, values::Value(out)) << in.Describe();
  }
  EXPECT_FALSE(t.Transform(values::Value(values::Array{})).ok());
  EXPECT_TRUE(t.AllowsReverseTransformation());
  EXPECT_EQ(t.ReverseTransform(values::Value("16")).value, values::Value(values::Number::Int64(16384)));
  EXPECT_EQ(t.ReverseTransform(values::Value(-3)).value, values::Value(values::Number::Int64(-3072)));
  // A huge typed rate must not wrap into a negative (that is, unlimited-looking) number.
  util::TransformResult huge = t.ReverseTransform(values::Value("99999999999999999999"));
  ASSERT_TRUE(huge.ok());
  EXPECT_GT(huge.value.Int64Or(0), 0);
}

TEST(EditableCopyTransformer, CopiesADictionaryThatEditsDoNotReachTheOriginal) {
  util::EditableCopyTransformer t;
  values::Value stored(values::Dictionary{{"limit", 7000}, {"status", false}});
  util::TransformResult r = t.Transform(stored);
  ASSERT_TRUE(r.ok());
  r.value.Put("limit", 1);
  EXPECT_EQ(*stored.Find("limit"), values::Value(7000));
  EXPECT_EQ(t.Transform(values::Value()).value, values::Value(values::Dictionary{}));
  EXPECT_FALSE(t.Transform(values::Value("text")).ok());
  EXPECT_EQ(t.ReverseTransform(stored).value, stored);
}

TEST(ConcatenateStringArrayTransformer, SortsIgnoringCaseAndJoinsWithoutSeparator) {
  util::ConcatenateStringArrayTransformer t;
  const std::pair<values::Array, const char*> cases[] = {
      {{}, ""},
      {{"zip; ", "Bin; ", "dmg; "}, "Bin; dmg; zip; "},
      {{"b", "A", "a", "C"}, "AabC"},
      {{"x", 3, "w"}, "wx"},  // what is not text has nothing to show
  };
  for (const auto& [in, out] : cases) {
    util::TransformResult r = t.Transform(values::Value(in));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, values::Value(out)) << values::Value(in).Describe();
  }
  EXPECT_FALSE(t.AllowsReverseTransformation());
  EXPECT_FALSE(t.Transform(values::Value(3)).ok());
}

}  // namespace
