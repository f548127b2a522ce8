#include "app/ui/set_helpers.h"

#include <gtest/gtest.h>

namespace {

TEST(SetHelpers, AnyValueIsNullForAnEmptySet) {
  values::Set empty;
  EXPECT_TRUE(ui::GetAnySetValue(empty).IsNull());
  values::Set one;
  one.Add(7);
  EXPECT_EQ(ui::GetAnySetValue(one), values::Value(7));
}

TEST(SetHelpers, AddMembersIsAnInPlaceUnion) {
  values::Set a, b;
  a.Add(1);
  a.Add(2);
  b.Add(2);
  b.Add(3);
  ui::AddSetMembers(a, b);
  values::Set expected;
  for (int v : {1, 2, 3}) expected.Add(v);
  EXPECT_EQ(a, expected);
  EXPECT_EQ(a.members.size(), 3u);
  ui::AddSetMembers(a, a);
  EXPECT_EQ(a.members.size(), 3u);
}

}  // namespace
