// The browser plug-in's parts on their own: the repeated-request key and its 45-second
// window, the URL-list line splitting, the referer a page without one gets, the type
// resource, and the native-messaging reader the extension's messages go through.
#include <gtest/gtest.h>

#include <cstring>

#include "plugins/browser_plugin/duplicate_table.h"
#include "plugins/browser_plugin/handoff_event.h"
#include "plugins/browser_plugin/native_messages.h"
#include "plugins/browser_plugin/plugin_types.h"
#include "plugins/browser_plugin/url_list_collector.h"
#include "tests/support/temp_home.h"

namespace browserplugin {
namespace {

TEST(DuplicateKey, IsTheFileNameAndUnescapedQueryElseTheWholeURL) {
  const struct {
    const char* url;
    const char* key;
  } cases[] = {
      {"http://a.test/dir/file.zip", "file.zip"},
      {"http://b.test/other/file.zip", "file.zip"},
      {"http://a.test/get.php?id=7%20x", "get.phpid=7 x"},
      {"http://a.test/?id=7", "id=7"},
      {"http://a.test/", "http://a.test/"},
      {"not a url", "not a url"},
  };
  for (const auto& c : cases) EXPECT_EQ(DuplicateKeyForURL(c.url), c.key) << c.url;
}

TEST(DuplicateTable, AnEntryCountsForExactly45SecondsAndOlderOnesAreDropped) {
  DuplicateTable table;
  EXPECT_FALSE(table.CheckAndAdd("a", 1000.0));
  EXPECT_FALSE(table.CheckAndAdd("b", 1010.0));
  EXPECT_TRUE(table.CheckAndAdd("a", 1045.0));
  EXPECT_EQ(table.size(), 2u) << "a duplicate is not added again";
  // "a" is now 45.5 s old: gone, and this request starts a new window.
  EXPECT_FALSE(table.CheckAndAdd("a", 1045.5));
  EXPECT_EQ(table.size(), 2u);
  EXPECT_FALSE(table.CheckAndAdd("c", 1100.0));
  EXPECT_EQ(table.size(), 1u) << "every expired entry goes during the walk";
}

TEST(UrlListCollector, EverySplitOfTheStreamGivesTheSameLines) {
  const std::string text = "http://a/1\r\nhttp://b/2\r\n\r\nhttp://c/3\r\nlast";
  const std::vector<std::string> expected = {"http://a/1", "http://b/2", "", "http://c/3", "last"};
  for (std::size_t i = 0; i <= text.size(); ++i) {
    for (std::size_t j = i; j <= text.size(); ++j) {
      UrlListCollector c;
      ASSERT_TRUE(c.Append(text.substr(0, i)));
      ASSERT_TRUE(c.Append(text.substr(i, j - i)));
      ASSERT_TRUE(c.Append(text.substr(j)));
      ASSERT_EQ(c.Finish(), expected) << "split at " << i << " and " << j;
    }
  }
}

TEST(UrlListCollector, LoneLineFeedsAndCarriageReturnsDoNotEndALine) {
  UrlListCollector c;
  ASSERT_TRUE(c.Append("a\nb\rc\r\n"));
  EXPECT_EQ(c.Finish(), std::vector<std::string>{"a\nb\rc"});
}

TEST(UrlListCollector, AnEndlessLineOrTooManyLinesStopTheStream) {
  UrlListCollector endless;
  EXPECT_TRUE(endless.Append(std::string(UrlListCollector::kMaxPendingBytes, 'x')));
  EXPECT_FALSE(endless.Append("x"));
  UrlListCollector many;
  std::string lines;
  for (std::size_t i = 0; i < UrlListCollector::kMaxURLs; ++i) lines += "u\r\n";
  EXPECT_TRUE(many.Append(lines));
  EXPECT_FALSE(many.Append("u\r\n"));
}

TEST(DerivedReferer, IsTheURLsFolderPageWhenTheURLNamesAFile) {
  EXPECT_EQ(DerivedReferer("http://h/dir/file.zip"), std::string("http://h/dir/index.html") + '\0');
  EXPECT_EQ(DerivedReferer("http://h/dir/"), std::nullopt);
  EXPECT_EQ(DerivedReferer("nofolder"), std::nullopt);
}

TEST(PluginTypes, RoundTripKeepsOrderCutsLongTextsAndReplacesWhatRomanLacks) {
  const std::string path = testsupport::MakeTempDir("types") + "/types.rsrc";
  const std::vector<PluginType> types = {
      {"application/x-tar", {"tgz", "tar"}, "Tape ARchive"},
      {"application/zip",
       {"zip"},
       "Zip \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD"},  // é kept, € kept, 中 not
      {"application/x-long", {}, std::string(300, 'd')},
  };
  ASSERT_TRUE(WritePluginTypes(path, types));
  const auto read = ReadPluginTypes(path);
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 3u);
  EXPECT_EQ((*read)[0].mimeType, "application/x-tar");
  EXPECT_EQ((*read)[0].extensions, (std::vector<std::string>{"tgz", "tar"}));
  EXPECT_EQ((*read)[1].description, "Zip \xC3\xA9t\xC3\xA9 \xE2\x82\xAC ?");
  EXPECT_EQ((*read)[2].extensions, std::vector<std::string>{});
  EXPECT_EQ((*read)[2].description, std::string(255, 'd'));
}

TEST(PluginTypes, DamagedFilesReadAsNothing) {
  const std::string dir = testsupport::MakeTempDir("types");
  ASSERT_TRUE(WritePluginTypes(dir + "/good.rsrc", {{"a/b", {"c"}, "d"}}));
  const std::string good = testsupport::ReadFile(dir + "/good.rsrc");
  for (std::size_t cut : {std::size_t(0), std::size_t(15), good.size() / 2, good.size() - 1}) {
    testsupport::WriteFile(dir + "/cut.rsrc", good.substr(0, cut));
    EXPECT_FALSE(ReadPluginTypes(dir + "/cut.rsrc").has_value()) << cut;
  }
  EXPECT_FALSE(ReadPluginTypes(dir + "/missing.rsrc").has_value());
}

std::string Frame(std::uint32_t length, const std::string& body) {
  std::string out(4, '\0');
  std::memcpy(out.data(), &length, 4);
  return out + body;
}

TEST(NativeMessages, FramesAreTakenWholeAndOversizedOnesRefused) {
  const std::string one = FrameNativeMessage("{\"type\":\"types\"}");
  std::size_t used = 0;
  std::string message;
  for (std::size_t n = 0; n < one.size(); ++n) {
    EXPECT_EQ(TakeNativeFrame(one.substr(0, n), used, message), FrameStatus::kNeedMore) << n;
  }
  EXPECT_EQ(TakeNativeFrame(one + "rest", used, message), FrameStatus::kMessage);
  EXPECT_EQ(used, one.size());
  EXPECT_EQ(message, "{\"type\":\"types\"}");
  EXPECT_EQ(TakeNativeFrame(Frame(kMaxNativeMessageBytes + 1, ""), used, message), FrameStatus::kRefused);
  EXPECT_EQ(TakeNativeFrame(Frame(0xFFFFFFFFu, ""), used, message), FrameStatus::kRefused);
}

TEST(NativeMessages, RequestsAreReadAndAnythingElseRefused) {
  const auto download = ParseHostRequest(
      R"({"type":"download","url":"http://h/f.zip","referrer":"http://h/","cookies":"a=b","mime":"application/zip","body":"x\r\n"})");
  ASSERT_TRUE(download.has_value());
  EXPECT_EQ(download->kind, HostRequest::Kind::kDownload);
  EXPECT_EQ(download->url, "http://h/f.zip");
  EXPECT_EQ(download->referrer, "http://h/");
  EXPECT_EQ(download->cookies, "a=b");
  EXPECT_EQ(download->body, "x\r\n");
  ASSERT_TRUE(ParseHostRequest(R"({"type":"types"})").has_value());
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  for (const std::string& bad :
       {std::string("{\"type\":\"download\"}"), std::string("[1]"),
        std::string("{\"type\":\"download\",\"url\":5}"), std::string("{\"type\":\"other\"}"),
        std::string("{\"type\":\"types\"} trailing"), std::string("{"), deep,
        "{\"type\":\"types\",\"x\":" + deep + "}"}) {
    EXPECT_FALSE(ParseHostRequest(bad).has_value()) << bad.substr(0, 60);
  }
}

TEST(AddURLEvent, ParameterOrderDependsOnWhetherTheProgramIsStarted) {
  const AddURLInputs inputs{{"u"}, std::string("r"), {"c"}};
  const auto running = BuildAddURLEvent(inputs, false).Parameters().Fields();
  const auto launching = BuildAddURLEvent(inputs, true).Parameters().Fields();
  ASSERT_EQ(running.size(), 3u);
  ASSERT_EQ(launching.size(), 3u);
  EXPECT_EQ(running[1].first, values::FourCC("Co_k"));
  EXPECT_EQ(launching[1].first, values::FourCC("Refe"));
  const auto bare = BuildAddURLEvent({{"u"}, std::nullopt, {}}, false).Parameters().Fields();
  EXPECT_EQ(bare.size(), 1u);
}

}  // namespace
}  // namespace browserplugin
