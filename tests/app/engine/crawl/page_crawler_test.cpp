// Whole page scans against a loopback nginx site made by the test.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <string>

#include "app/engine/crawl/crawl_events.h"
#include "tests/app/engine/crawl/crawl_harness.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"

namespace engine {
namespace {

using engine::testing::RunScan;
using Files = std::vector<std::string>;

class PageCrawlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx_.ok());
    const std::string www = nginx_.WwwDir();
    Put("dir/index.html",
        "<html><body><a href=\"a.zip\">a</a> <a href=\"b.tar\">b</a> <a href=\"sub/page.html\">s</a>"
        " <a href=\"/other/page.html\">o</a> <a href=\"" +
            Url("/other/abs.html") +
            "\">abs</a> <a href=\"report.html\">r</a> <a href=\"folder/\">f</a>"
            " <a href=\"missing.html\">m</a> <a href=\"copy1.html\">1</a> <a href=\"copy2.html\">2</a>"
            "</body></html>");
    Put("dir/sub/page.html", "<html><a href=\"c.zip\">c</a><a href=\"../a.zip\">a again</a></html>");
    Put("dir/report.html", "<html><a href=\"d.zip\">the report</a></html>");
    Put("dir/folder/index.html", "<html><a href=\"e.zip\">e</a></html>");
    Put("other/page.html", "<html><a href=\"x.zip\">x</a></html>");
    Put("other/abs.html", "<html><a href=\"y.zip\">y</a></html>");
    // Same size and time: nginx gives both the same entity tag.
    Put("dir/copy1.html", "<html><a href=\"k1.zip\"></a></html>", false);
    Put("dir/copy2.html", "<html><a href=\"k2.zip\"></a></html>", false);
    struct utimbuf times {
      1000000000, 1000000000
    };
    ASSERT_EQ(utime((www + "/dir/copy1.html").c_str(), &times), 0);
    ASSERT_EQ(utime((www + "/dir/copy2.html").c_str(), &times), 0);
    Put("dir/a.zip", "PK zip a", false);
    Put("lone/only.zip", "PK zip only", false);
  }

  // Pages written in one second differ in size (nginx's entity tag is the time and the
  // size), unless `pad` off keeps the body as it is.
  void Put(const std::string& path, const std::string& body, bool pad = true) {
    testsupport::WriteFile(nginx_.WwwDir() + "/" + path,
                           pad ? body + "<!--" + std::string(++padding_, '.') + "-->" : body);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(nginx_.HttpPort()) + path;
  }
  CrawlRequestRef Request(const std::string& path, std::int32_t levels,
                          std::optional<std::vector<std::string>> extensions = std::vector<std::string>{
                              "zip"}) {
    CrawlRequestRef r = CreateCrawlRequest();
    r->startURL = Url(path);
    r->levels = levels;
    r->extensionList = std::move(extensions);
    r->crawlID = "scan-1";
    return r;
  }

  testservers::NginxServer nginx_;
  int padding_ = 0;
};

TEST_F(PageCrawlerTest, LevelZeroReadsNothingAndFindsNothing) {
  const auto scan = RunScan(Request("/dir/index.html", 0), false);
  EXPECT_EQ(scan.result, kCrawlResultNothingFound);
  EXPECT_TRUE(scan.pages.empty());
  EXPECT_EQ(scan.id, "scan-1");
}

TEST_F(PageCrawlerTest, LevelOneReadsTheStartPageOnly) {
  const auto scan = RunScan(Request("/dir/index.html", 1), false);
  EXPECT_EQ(scan.result, 200);
  EXPECT_EQ(scan.PageURLs(), (Files{Url("/dir/index.html")}));
  EXPECT_EQ(scan.Files(), (Files{Url("/dir/a.zip")}));
  ASSERT_FALSE(scan.pages.empty());
  EXPECT_TRUE(scan.pages[0].hasPreserve);
  EXPECT_FALSE(scan.pages[0].hasSizes);
}

TEST_F(PageCrawlerTest, TheNextLevelFollowsPagesBelowTheStartFolder) {
  const auto scan = RunScan(Request("/dir/index.html", 2), false);
  EXPECT_EQ(scan.result, 200);
  Files pages = scan.PageURLs();
  std::sort(pages.begin(), pages.end());
  // /other/ is outside the folder; missing.html answers 404 and is skipped without an
  // event; copy2.html has copy1.html's entity tag (or the other way round) and is not parsed.
  ASSERT_EQ(pages.size(), 5u) << ::testing::PrintToString(pages);
  EXPECT_TRUE(scan.Page(Url("/dir/sub/page.html")));
  EXPECT_TRUE(scan.Page(Url("/dir/report.html")));
  EXPECT_TRUE(scan.Page(Url("/dir/folder/")));
  EXPECT_FALSE(scan.Page(Url("/dir/missing.html")));
  EXPECT_FALSE(scan.Page(Url("/other/page.html")));
  EXPECT_FALSE(scan.Page(Url("/other/abs.html")));
  EXPECT_EQ(static_cast<bool>(scan.Page(Url("/dir/copy1.html"))) +
                static_cast<bool>(scan.Page(Url("/dir/copy2.html"))),
            1);
  Files files = scan.Files();
  // a.zip, linked from two pages, is reported once.
  EXPECT_EQ(std::count(files.begin(), files.end(), Url("/dir/a.zip")), 1);
  EXPECT_NE(std::find(files.begin(), files.end(), Url("/dir/sub/c.zip")), files.end());
  EXPECT_NE(std::find(files.begin(), files.end(), Url("/dir/folder/e.zip")), files.end());
}

TEST_F(PageCrawlerTest, FollowingOtherHostsReachesAbsoluteLinksOutsideTheFolder) {
  auto request = Request("/dir/index.html", 2);
  request->followOtherHosts = true;
  const auto scan = RunScan(request, false);
  EXPECT_TRUE(scan.Page(Url("/other/abs.html")));
  // Written relative, it stays out.
  EXPECT_FALSE(scan.Page(Url("/other/page.html")));
}

TEST_F(PageCrawlerTest, EveryExtensionTakesAPageAndFollowsItButADirectoryIsOnlyFollowed) {
  // The start page is a folder: with "*", a start URL ending in .html would itself be the file.
  const auto scan = RunScan(Request("/dir/", 2, std::vector<std::string>{"*"}), false);
  Files files = scan.Files();
  EXPECT_NE(std::find(files.begin(), files.end(), Url("/dir/report.html")), files.end());
  EXPECT_TRUE(scan.Page(Url("/dir/report.html")));
  EXPECT_EQ(std::find(files.begin(), files.end(), Url("/dir/folder/")), files.end());
  EXPECT_TRUE(scan.Page(Url("/dir/folder/")));
}

TEST_F(PageCrawlerTest, AnEscapedFragmentMarkCutsTheStartURL) {
  const auto scan = RunScan(Request("/dir/index.html%23section", 1), false);
  EXPECT_EQ(scan.result, 200);
  EXPECT_EQ(scan.PageURLs(), (Files{Url("/dir/index.html")}));
}

TEST_F(PageCrawlerTest, AMissingStartPageEndsTheScanWithItsStatus) {
  const auto scan = RunScan(Request("/nowhere/index.html", 3), false);
  EXPECT_EQ(scan.result, 404);
  EXPECT_TRUE(scan.pages.empty());
}

TEST_F(PageCrawlerTest, WithoutAListAFileStartURLIsItselfTheFile) {
  const auto scan = RunScan(Request("/lone/only.zip", 2, std::nullopt), false);
  EXPECT_EQ(scan.result, 200);
  EXPECT_EQ(scan.Files(), (Files{Url("/lone/only.zip")}));
}

TEST_F(PageCrawlerTest, NothingFoundOnAReadablePageIsResultOne) {
  Put("empty/index.html", "<html><a href=\"x.tar\">x</a></html>");
  const auto scan = RunScan(Request("/empty/index.html", 1), false);
  EXPECT_EQ(scan.result, kCrawlResultNothingFound);
  ASSERT_EQ(scan.pages.size(), 1u);
  EXPECT_TRUE(scan.pages[0].files.empty());
}

TEST(PageCrawlerNoServerTest, AStartPageThatNeverAnswersIsAFailureNotComplete) {
  testservers::RefusingPort refusing;
  CrawlRequestRef r = CreateCrawlRequest();
  r->startURL = "http://127.0.0.1:" + std::to_string(refusing.port()) + "/index.html";
  r->levels = 2;
  const auto scan = RunScan(r, false);
  EXPECT_EQ(scan.result, kCrawlResultNoAnswer);
  EXPECT_TRUE(scan.pages.empty());
}

}  // namespace
}  // namespace engine
