#include "app/util/helpers/collection_helpers.h"

#include <gtest/gtest.h>

namespace {

TEST(DictionaryNumbers, SettersFixTheWidth) {
  values::Value d;
  util::DictSetDouble(d, "d", 1.5);
  util::DictSetInt(d, "i", -3);
  util::DictSetUInt32AsSInt64(d, "u", 0xFFFFFFFFu);
  EXPECT_EQ(d.Find("d")->AsNumber()->kind, values::Number::Kind::kFloat64);
  EXPECT_EQ(d.Find("i")->AsNumber()->kind, values::Number::Kind::kInt32);
  EXPECT_EQ(d.Find("u")->AsNumber()->kind, values::Number::Kind::kInt64);
  EXPECT_EQ(d.Find("u")->AsNumber()->AsInt64(), 4294967295LL);  // zero-extended, not -1
}

TEST(DictionaryNumbers, WrongTypeReadsAsMissing) {
  values::Value d{{"n", 7.9}, {"s", "12"}, {"b", true}, {"one", 1}};
  bool found = true;
  EXPECT_EQ(util::DictGetInt(d, "s", &found), 0);
  EXPECT_FALSE(found);
  EXPECT_EQ(util::DictGetInt(d, "n", &found), 7);  // reals truncate
  EXPECT_TRUE(found);
  EXPECT_EQ(util::DictGetDouble(d, "n"), 7.9);
  EXPECT_EQ(util::DictGetSInt64(d, "missing", &found), 0);
  EXPECT_FALSE(found);
  EXPECT_TRUE(util::DictGetBoolean(d, "b", &found));
  EXPECT_TRUE(found);
  EXPECT_FALSE(util::DictGetBoolean(d, "one", &found));  // a number is not a Boolean here
  EXPECT_FALSE(found);
  EXPECT_EQ(util::DictGetInt(values::Value("not a dictionary"), "n", &found), 0);
  EXPECT_FALSE(found);
}

TEST(CompareUInt32, IsAThreeWayComparisonOverTheWholeRange) {
  EXPECT_EQ(util::CompareUInt32(1, 2), -1);
  EXPECT_EQ(util::CompareUInt32(2, 2), 0);
  EXPECT_EQ(util::CompareUInt32(0xFFFFFFFFu, 0), 1);  // no signed wrap-around
}

TEST(FirstDictionaryEntry, IsTheFirstInKeyOrder) {
  EXPECT_FALSE(util::GetFirstDictionaryEntry({}));
  auto first = util::GetFirstDictionaryEntry(values::Dictionary{{"b", 2}, {"a", 1}});
  ASSERT_TRUE(first);
  EXPECT_EQ(first->first, "a");
  EXPECT_EQ(first->second, values::Value(1));
}

TEST(ArraysOfDictionaries, ValuesForAKeyWithNullsPlaceholdersOrNothing) {
  values::Array rows{values::Value{{"k", 1}}, values::Value{{"other", 2}}, values::Value("not a dict"),
                     values::Value{{"k", "x"}}};
  EXPECT_EQ(util::ArrayWithObjectsForKey(rows, "k"),
            (values::Array{1, values::Value(), values::Value(), "x"}));
  EXPECT_EQ(util::ArrayWithObjectsForKey(rows, "k", true), (values::Array{1, "x"}));
  EXPECT_EQ(util::ArrayWithObjectsForKey(rows, "k", values::Value("-")), (values::Array{1, "-", "-", "x"}));
  auto counted =
      util::ArrayByPerformingSelector(rows, [](const values::Value& v) -> std::optional<values::Value> {
        if (!v.IsDictionary()) return std::nullopt;
        return values::Value(static_cast<int>(v.Count()));
      });
  EXPECT_EQ(counted, (values::Array{1, 1, values::Value(), 1}));
}

}  // namespace
