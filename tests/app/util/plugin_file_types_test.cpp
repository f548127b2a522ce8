#include "app/util/settings/plugin_file_types.h"

#include <gtest/gtest.h>

namespace {

using namespace util;

using values::Array;
using values::Dictionary;
using values::Value;

Value Type(bool enabled, const char* extension, const char* mimetypes = "x/y",
           const char* description = "d") {
  return Dictionary{
      {"enabled", enabled}, {"extension", extension}, {"mimetypes", mimetypes}, {"description", description}};
}

TEST(DefaultPluginTypes, TableHoldsFortyTwoRowsFourteenEnabled) {
  const Array& table = defaultPluginTypes();
  ASSERT_EQ(42u, table.size());
  std::vector<std::string> enabled;
  for (const Value& row : table) {
    ASSERT_TRUE(row.Find("enabled")->IsBool());
    if (row.Find("enabled")->BoolOr(false)) enabled.push_back(row.Find("extension")->StringOr(""));
    EXPECT_EQ(4u, row.Count());
  }
  EXPECT_EQ((std::vector<std::string>{"torrent", "sitx", "sit", "bin", "hqx", "bz2", "tbz", "zip", "gz",
                                      "dmg", "tgz", "exe", "tar", "urls"}),
            enabled);
  EXPECT_EQ(Type(false, "mov", "video/quicktime", "Quicktime Movie"), table.front());
  EXPECT_EQ(Type(false, "qtz", "application/x-quartzcomposer", "Quartz Composer file"), table.back());
  EXPECT_EQ(Type(false, "flac", "audio/x-flac, application/x-flac", "FLAC (Free Lossless Audio Codec)"),
            table[38]);
  EXPECT_EQ(&table, &defaultPluginTypes());  // built once
}

TEST(DefaultPluginTypes, OlderListGetsTheDefaultRowsThenTheUsersOwn) {
  const Array user = {Type(false, "zip"), Type(true, "xyz", "application/xyz", "Mine"), Type(true, "pdf")};
  const PluginTypesUpdate update = UpdatePluginTypes(5, &user);
  ASSERT_TRUE(update.pluginTypes.has_value());
  EXPECT_TRUE(update.storeBaseVersion);
  const Array& merged = *update.pluginTypes;
  ASSERT_EQ(43u, merged.size());
  for (std::size_t i = 0; i < 42; ++i)
    EXPECT_EQ(defaultPluginTypes()[i], merged[i]) << i;  // "zip" enabled again
  EXPECT_EQ(Type(true, "xyz", "application/xyz", "Mine"), merged[42]);
  EXPECT_EQ(11, kPluginTypesBaseVersion);
}

TEST(DefaultPluginTypes, CurrentOrNeverStoredVersionLeavesTheListAlone) {
  const Array user = {Type(false, "zip")};
  for (std::int64_t version : {0, 11, 12}) {
    const PluginTypesUpdate update = UpdatePluginTypes(version, &user);
    EXPECT_FALSE(update.pluginTypes.has_value()) << version;
    EXPECT_TRUE(update.storeBaseVersion) << version;
  }
}

TEST(DefaultPluginTypes, OlderVersionWithoutAListStoresNothing) {
  const PluginTypesUpdate update = UpdatePluginTypes(7, nullptr);
  EXPECT_FALSE(update.pluginTypes.has_value());
  EXPECT_FALSE(update.storeBaseVersion);
}

TEST(DefaultPluginTypes, EntriesThatAreNoTypesAreDroppedFromAnOlderList) {
  const Array user = {Value("zip"), Value(Dictionary{{"description", "no extension"}})};
  const PluginTypesUpdate update = UpdatePluginTypes(3, &user);
  ASSERT_TRUE(update.pluginTypes.has_value());
  ASSERT_EQ(43u, update.pluginTypes->size());
  EXPECT_EQ(Value(Dictionary{{"description", "no extension"}}), (*update.pluginTypes)[42]);
}

}  // namespace
