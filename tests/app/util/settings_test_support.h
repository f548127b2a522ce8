#pragma once
// Helpers shared by the settings tests.

#include <gtest/gtest.h>

#include <string>

#include "platform/values/value.h"

namespace settingstest {

// Value's == compares numbers across widths (1 == 1.0); stored files keep the width, so
// the tests check it too.
inline void ExpectSameWidths(const values::Value& expected, const values::Value& actual,
                             const std::string& where) {
  ASSERT_EQ(expected.type(), actual.type()) << where;
  if (expected.IsNumber()) {
    EXPECT_EQ(expected.AsNumber()->kind, actual.AsNumber()->kind) << where;
  } else if (expected.IsDictionary()) {
    for (const auto& [key, value] : *expected.AsDictionary()) {
      if (const values::Value* other = actual.Find(key)) ExpectSameWidths(value, *other, where + " / " + key);
    }
  } else if (expected.IsArray()) {
    for (std::size_t i = 0; i < expected.Count() && i < actual.Count(); ++i) {
      ExpectSameWidths(expected[i], actual[i], where + " [" + std::to_string(i) + "]");
    }
  }
}

inline void ExpectSameDictionary(const values::Dictionary& expected, const values::Dictionary& actual) {
  for (const auto& [key, value] : expected) {
    auto it = actual.find(key);
    if (it == actual.end()) {
      ADD_FAILURE() << "missing key \"" << key << "\"";
      continue;
    }
    EXPECT_EQ(value, it->second) << "key \"" << key << "\": " << it->second.Describe();
    ExpectSameWidths(value, it->second, key);
  }
  for (const auto& [key, value] : actual) {
    if (!expected.contains(key)) ADD_FAILURE() << "unexpected key \"" << key << "\"";
  }
}

}  // namespace settingstest
