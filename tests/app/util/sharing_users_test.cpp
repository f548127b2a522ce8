#include "app/util/settings/sharing_users.h"

#include <gtest/gtest.h>

namespace {

using namespace util;

using values::Array;
using values::Data;
using values::Dictionary;
using values::Number;
using values::Value;

Value U64(std::int64_t v) {
  return Value(Number::Int64(v));
}

TEST(SharingUsers, LoadRules) {
  const Value stored = Dictionary{
      {"alice", Dictionary{{"auth", Data{{1, 2, 3}}},
                           {"access", Array{U64(7), U64(0x80000001)}},
                           {"dlAccess", Array{U64(7)}},
                           {"quota", U64(5000000000)},
                           {"canUpload", true}}},
      {"no-auth", Dictionary{{"access", Array{}}}},
      {"no-access", Dictionary{{"auth", Data{{9}}}}},
      {"auth-not-data", Dictionary{{"auth", "secret"}, {"access", Array{}}}},
      {"bob", Dictionary{{"auth", Data{{4}}}, {"access", Array{U64(1)}}, {"quota", "lots"}}},
  };
  const SharingUsersTable users = ReadSharingUsers(&stored);

  ASSERT_EQ((std::vector<std::string>{"Guest", "alice", "bob"}), [&] {
    std::vector<std::string> names;
    for (const auto& [name, record] : users) names.push_back(name);
    return names;
  }());
  const SharingUserRecord& alice = users.at("alice");
  EXPECT_EQ((values::Bytes{1, 2, 3}), alice.passwordData);
  EXPECT_EQ((std::vector<std::uint32_t>{7, 0x80000001u}), alice.viewUIDs);
  EXPECT_EQ((std::vector<std::uint32_t>{7}), alice.downloadUIDs);
  EXPECT_EQ(5000000000, alice.quota);
  EXPECT_TRUE(alice.canUpload);

  const SharingUserRecord& bob = users.at("bob");
  EXPECT_EQ(-1, bob.quota);  // not a number
  EXPECT_TRUE(bob.downloadUIDs.empty());
  EXPECT_FALSE(bob.canUpload);

  EXPECT_EQ(SharingUserRecord{}, users.at("Guest"));
  EXPECT_EQ(-1, users.at("Guest").quota);
}

TEST(SharingUsers, GuestIsAddedOnlyWhenMissing) {
  for (const Value& stored : {Value(), Value("not a dictionary"), Value(Dictionary{})}) {
    const SharingUsersTable users = ReadSharingUsers(&stored);
    ASSERT_EQ(1u, users.size()) << stored.Describe();
    EXPECT_TRUE(users.contains("Guest"));
  }
  EXPECT_EQ(1u, ReadSharingUsers(nullptr).size());

  const Value withGuest = Dictionary{{"Guest", Dictionary{{"auth", Data{{8}}}, {"access", Array{U64(3)}}}}};
  const SharingUsersTable users = ReadSharingUsers(&withGuest);
  ASSERT_EQ(1u, users.size());
  EXPECT_EQ((values::Bytes{8}), users.at("Guest").passwordData);
}

TEST(SharingUsers, StoredFormRoundTrips) {
  SharingUsersTable users;
  users["carol"] = {{0xFF}, {1, 2}, {2}, 1024, true};
  users["Guest"] = {};
  const Dictionary stored = CopySharingUsersDictionary(users);

  const Value& carol = stored.at("carol");
  EXPECT_EQ(Number::Kind::kInt64, carol.Find("quota")->AsNumber()->kind);
  EXPECT_EQ(Number::Kind::kInt64, (*carol.Find("access"))[0].AsNumber()->kind);
  EXPECT_EQ(Value(Array{U64(2)}), *carol.Find("dlAccess"));

  const Value asStored = stored;
  EXPECT_EQ(users, ReadSharingUsers(&asStored));
}

}  // namespace
