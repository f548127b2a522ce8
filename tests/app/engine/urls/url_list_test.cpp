#include "app/engine/urls/url_list.h"

#include <gtest/gtest.h>

namespace {

using values::Array;
using values::Value;

std::vector<std::string> Urls(const std::optional<Array>& list) {
  std::vector<std::string> out;
  if (!list) return out;
  for (const Value& e : *list) out.push_back(e.Find("url")->StringOr(""));
  return out;
}

TEST(ParseURLListText, OneEntryPerUsableLine) {
  using L = std::vector<std::string>;
  const std::pair<const char*, L> cases[] = {
      {"http://a/one\rftp://a\rftp://b/two", L{"http://a/one", "ftp://b/two"}},  // 7 characters: skipped
      {"http://a/one\nhttp://a/two", L{"http://a/one", "http://a/two"}},         // LF separates too
      {"http://a/one\r\nhttp://a/two\r\n", L{"http://a/one", "http://a/two"}},
      {"  http://a/with space.zip\t", L{"http://a/with%20space.zip"}},
      {"http://a/p#frag", L{"http://a/p#frag"}},  // "#" stays a fragment
      {"http://a/%41%25", L{"http://a/%41%25"}},  // escapes kept as given
      {"http://a/x#!metalink3!http://m/file.iso", L{"http://m/file.iso"}},
      {"http://www.google.com/url?sa=t&source=web&q=https%3A%2F%2Fdl.example%2Fa.zip&ei=1",
       L{"https://dl.example/a.zip"}},
      {"http://www.google.com/url?sa=t&q=just%20words", L{"http://www.google.com/url?sa=t&q=just%20words"}},
      {"http://www.google.com/url?q=https%3A%2F%2Fdl.example%2Fa.zip",  // no "sa" key
       L{"http://www.google.com/url?q=https%3A%2F%2Fdl.example%2Fa.zip"}},
      {"file:///etc/passwd", L{}},  // no host
      {"nothing to see here", L{}},
      {"", L{}},
  };
  for (const auto& [text, urls] : cases)
    EXPECT_EQ(Urls(engine::ParseURLListText(text, std::nullopt)), urls) << text;
  EXPECT_FALSE(engine::ParseURLListText("short\r", std::nullopt));
}

TEST(ParseURLListText, RefererGoesIntoEveryEntry) {
  auto list = engine::ParseURLListText("http://a/1.zip\rhttp://a/2.zip", std::string("http://ref/"));
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 2u);
  for (const Value& e : *list) EXPECT_EQ(e.Find("referer")->StringOr(""), "http://ref/");
  auto bare = engine::ParseURLListText("http://a/1.zip", std::nullopt);
  EXPECT_EQ((*bare)[0].Find("referer"), nullptr);
}

TEST(ParseURLListCString, RefusesBytesThatAreNotUtf8) {
  EXPECT_FALSE(engine::ParseURLListCString("http://a/caf\xE9.zip", std::nullopt));
  EXPECT_EQ(Urls(engine::ParseURLListCString("http://a/caf\xC3\xA9.zip", std::nullopt)),
            std::vector<std::string>{"http://a/caf%C3%A9.zip"});
}

Value Entry(const char* url, const char* referer) {
  Value e{{"url", url}};
  if (referer) e.Put("referer", referer);
  return e;
}

TEST(URLListsAreEqual, EntriesPairedByPosition) {
  struct Case {
    Array a, b;
    bool equal;
  } cases[] = {
      {{}, {}, true},
      {{Entry("http://a/1", "r")}, {Entry("http://a/1", "r")}, true},
      {{Entry("http://a/1", "r")}, {Entry("http://a/1", "s")}, false},
      {{Entry("http://a/1", nullptr)}, {Entry("http://a/1", nullptr)}, false},  // no referer never equals
      {{Entry("http://a/1", "r")}, {Entry("http://a/1", "r"), Entry("http://a/1", "r")}, false},
      {{Entry("http://a/1", "r"), Entry("http://a/2", "r")},
       {Entry("http://a/1", "r"), Entry("http://a/2", "r")},
       true},
      {{Entry("http://a/1", "r"), Entry("http://a/2", "r")},
       {Entry("http://a/2", "r"), Entry("http://a/1", "r")},
       false},
      {{Entry("http://a/1", "r"), Entry("http://a/1", "r")},
       {Entry("http://a/1", "r"), Entry("http://a/1", "r")},
       true},
  };
  for (const auto& c : cases) EXPECT_EQ(engine::URLListsAreEqual(c.a, c.b), c.equal);
}

TEST(URLLists, SchemesHostsFoldersAndKeys) {
  EXPECT_TRUE(engine::URLListSchemesAreSupported(
      {Entry("HTTP://a/", nullptr), Entry("afp://b/x", nullptr), Entry("ftps://c/", nullptr)}));
  EXPECT_FALSE(
      engine::URLListSchemesAreSupported({Entry("http://a/", nullptr), Entry("gopher://b/", nullptr)}));
  EXPECT_FALSE(engine::URLListSchemesAreSupported({Entry("relative/path", nullptr)}));
  EXPECT_FALSE(engine::URLListSchemesAreSupported({Value{{"referer", "x"}}}));

  Array hosts{Value("kept")};
  engine::URLListCopyHostNames(
      {Entry("http://a.example/", nullptr), Entry("file:///x", nullptr), Entry("ftp://b.example/", nullptr)},
      hosts);
  EXPECT_EQ(hosts, (Array{"kept", "a.example", "b.example"}));

  EXPECT_TRUE(engine::URLListIsFTPFolder({Entry("FTP://h/pub/", nullptr), Entry("http://h/x", nullptr)}));
  EXPECT_FALSE(engine::URLListIsFTPFolder({Entry("ftp://h/pub", nullptr)}));
  EXPECT_FALSE(engine::URLListIsFTPFolder({Entry("http://h/pub/", nullptr)}));
  EXPECT_FALSE(engine::URLListIsFTPFolder({}));

  Array list{Value{{"url", "http://a/"}, {"fatalError", true}}, Value{{"url", "http://b/"}}};
  engine::URLListRemoveKey(list, "fatalError");
  EXPECT_EQ(list[0].Find("fatalError"), nullptr);

  Array with = engine::URLListCopyWithReferer(list, std::string("http://r/"));
  EXPECT_EQ(with[1].Find("referer")->StringOr(""), "http://r/");
  EXPECT_EQ(list[1].Find("referer"), nullptr);  // the original is untouched
  EXPECT_EQ(engine::URLListCopyWithReferer(with, std::nullopt), with);

  Array stored{Value{{"url", "http://ok/"}}, Value{{"url", "not a url"}, {"ETag", "x"}}};
  Array loaded = engine::URLListCopyWithURLObjects(engine::URLListCopyWithURLStrings(stored));
  EXPECT_EQ(loaded[0], stored[0]);
  EXPECT_EQ(loaded[1], (Value{{"ETag", "x"}}));
}

}  // namespace
