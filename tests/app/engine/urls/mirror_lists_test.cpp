#include "app/engine/urls/mirror_lists.h"

#include <gtest/gtest.h>

#include "app/engine/urls/sensitive_servers.h"
#include "app/engine/urls/url_entries.h"
#include "app/engine/urls/url_list.h"
#include "app/util/settings/settings_store.h"

using values::Array;
using values::Value;

namespace {

Value Entry(const char* url, values::Dictionary extra = {}) {
  extra.insert_or_assign("url", url);
  return Value(std::move(extra));
}

values::Url U(const char* text) {
  return *values::Url::Create(text);
}

}  // namespace

TEST(MirrorLists, FindEntryByURLText) {
  Array list{Entry("http://a.example/f.zip"), Entry("http://b.example/f.zip", {{"referer", "r"}})};
  Value* found = engine::URLListFindEntry(list, U("http://b.example/f.zip"));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Find("referer")->StringOr(""), "r");
  EXPECT_EQ(engine::URLListFindEntry(list, U("http://c.example/f.zip")), nullptr);
}

TEST(MirrorLists, MergeAddsOnlyMissingKeysFromTheSameMirror) {
  Array list{Entry("http://a.example/f", {{"ETag", "new"}}), Entry("http://b.example/f")};
  const Array other{Entry("http://b.example/f", {{"dateString", "Mon"}, {"url", "http://b.example/f"}}),
                    Entry("http://a.example/f", {{"ETag", "old"}, {"validated", true}}),
                    Entry("http://c.example/f", {{"cookie", values::Dictionary{{"k", "v"}}}})};
  engine::URLListMergeValuesFrom(list, other);
  EXPECT_EQ(list[0], Entry("http://a.example/f", {{"ETag", "new"}, {"validated", true}}));
  EXPECT_EQ(list[1], Entry("http://b.example/f", {{"dateString", "Mon"}}));
}

TEST(MirrorLists, CountsByEntryState) {
  const Array list{
      Entry("http://a/1"),                                              // restartable
      Entry("http://a/2", {{"norestarts", true}}),                      // usable only
      Entry("http://a/3", {{"fatalError", true}}),                      // neither
      Entry("http://a/4", {{"Unreachable", true}}),                     // not fatal, not usable
      Entry("http://a/5", {{"norestarts", false}, {"fatalError", 0}}),  // restartable
  };
  EXPECT_EQ(engine::CountRestartableEntries(list), 2u);
  EXPECT_EQ(engine::CountUsableEntries(list), 3u);
  EXPECT_EQ(engine::CountEntriesWithoutFatalError(list), 4u);
}

TEST(SensitiveServers, RuleTable) {
  struct Case {
    const char* rule;
    const char* host;
    bool matches;
  } cases[] = {
      {".example.org", "dl.example.org", true},
      {".example.org", "x.example.org", true},
      {".example.org", "example.org", false},
      {".example.org", "badexample.org", false},
      {"example.org", "example.org", true},
      {"example.org", "dl.example.org", false},
      {"example.org", "Example.ORG", true},
      {".example.org", "DL.EXAMPLE.ORG.", true},
      {"", "example.org", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(engine::SensitiveServerRuleMatches(c.rule, c.host), c.matches) << c.rule << " vs " << c.host;
  }
}

TEST(SensitiveServers, SettingsRulesDecideForURLLists) {
  util::ChangeSettings([](util::Settings& s) { s.blackList = {".files.example", "one.example"}; });
  EXPECT_TRUE(engine::IsSensitiveServerHost("eu.files.example"));
  EXPECT_TRUE(
      engine::URLListHasSensitiveServer({Entry("http://other.example/a"), Entry("ftp://one.example/a")}));
  EXPECT_FALSE(engine::URLListHasSensitiveServer({Entry("http://other.example/a"), Entry("not a url")}));
  util::ChangeSettings([](util::Settings& s) { s.blackList.clear(); });
  EXPECT_FALSE(engine::IsSensitiveServerHost("eu.files.example"));
}
