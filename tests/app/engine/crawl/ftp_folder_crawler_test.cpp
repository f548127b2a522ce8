// The FTP folder crawler: its rules for one listing entry as a table, whole scans against
// vsftpd on loopback.

#include "app/engine/crawl/ftp_folder_crawler.h"

#include <gtest/gtest.h>
#include <regex.h>

#include <algorithm>
#include <string>

#include "app/engine/crawl/crawl_events.h"
#include "app/engine/crawl/page_crawl_links.h"
#include "tests/app/engine/crawl/crawl_harness.h"
#include "tests/servers/ftp_test_servers.h"

namespace engine {
namespace {

using engine::testing::RunScan;
using Files = std::vector<std::string>;

FTPResource Entry(const char* name, int type, std::optional<std::int64_t> size) {
  FTPResource r;
  r.name = name;
  r.type = type;
  r.size = size;
  return r;
}

struct EntryCase {
  const char* name;
  FTPResource entry;
  std::optional<std::vector<std::string>> extensions;
  std::int64_t minimum;
  Files found;
  std::map<std::string, std::int64_t> sizes;
  Files nextLevel;
};

const std::optional<std::vector<std::string>> kZip = std::vector<std::string>{"zip"};
constexpr const char* kFolder = "ftp://h.test/pub/";

void PrintTo(const EntryCase& c, std::ostream* os) {
  *os << c.name;
}

class CrawlFTPEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(CrawlFTPEntryTest, SortsTheEntry) {
  const EntryCase& c = GetParam();
  CrawlFTPRules rules;
  rules.extensionList = c.extensions;
  rules.minimumSize = c.minimum;
  CrawlFTPTables tables;
  tables.visited.insert("ftp://h.test/pub/seen/");
  CrawlFTPFolderResult result;
  CrawlFTPEntry(c.entry, *values::Url::Create(kFolder), rules, tables, result);
  EXPECT_EQ(result.found, c.found) << c.name;
  EXPECT_EQ(result.sizes, c.sizes) << c.name;
  EXPECT_EQ(Files(tables.nextLevel.begin(), tables.nextLevel.end()), c.nextLevel) << c.name;
}

const EntryCase kEntryCases[] = {
    {"ListedFileWithItsSize",
     Entry("a.zip", kFTPResourceFile, 2000),
     kZip,
     1000,
     {"ftp://h.test/pub/a.zip"},
     {{"ftp://h.test/pub/a.zip", 2000}},
     {}},
    {"ExtensionWithoutRegardToCase",
     Entry("A.ZIP", kFTPResourceFile, 2000),
     kZip,
     0,
     {"ftp://h.test/pub/A.ZIP"},
     {{"ftp://h.test/pub/A.ZIP", 2000}},
     {}},
    {"SizeEqualToTheMinimumIsNotTaken", Entry("m.zip", kFTPResourceFile, 1000), kZip, 1000, {}, {}, {}},
    {"UnknownSizeIsTaken",
     Entry("n.zip", kFTPResourceFile, std::nullopt),
     kZip,
     1000,
     {"ftp://h.test/pub/n.zip"},
     {},
     {}},
    {"ZeroSizeWithAListIsNotTaken", Entry("z.zip", kFTPResourceFile, 0), kZip, 0, {}, {}, {}},
    {"ZeroSizeWithoutAListIsTakenWithoutASize",
     Entry("z.bin", kFTPResourceFile, 0),
     std::nullopt,
     5000,
     {"ftp://h.test/pub/z.bin"},
     {},
     {}},
    {"WithoutAListTheMinimumDoesNotApply",
     Entry("s.bin", kFTPResourceFile, 10),
     std::nullopt,
     5000,
     {"ftp://h.test/pub/s.bin"},
     {{"ftp://h.test/pub/s.bin", 10}},
     {}},
    {"OtherExtension", Entry("b.tar", kFTPResourceFile, 2000), kZip, 0, {}, {}, {}},
    {"NoExtension", Entry("README", kFTPResourceFile, 2000), kZip, 0, {}, {}, {}},
    {"FolderJoinsTheNextLevel",
     Entry("sub", kFTPResourceFolder, std::nullopt),
     kZip,
     0,
     {},
     {},
     {"ftp://h.test/pub/sub/"}},
    {"FolderNameIsEscaped",
     Entry("my dir", kFTPResourceFolder, std::nullopt),
     kZip,
     0,
     {},
     {},
     {"ftp://h.test/pub/my%20dir/"}},
    {"DotFoldersAreNeverListed", Entry(".hidden", kFTPResourceFolder, std::nullopt), kZip, 0, {}, {}, {}},
    {"ParentEntryIsNeverListed", Entry("..", kFTPResourceFolder, std::nullopt), kZip, 0, {}, {}, {}},
    {"AFolderListedBeforeIsNotListedAgain",
     Entry("seen", kFTPResourceFolder, std::nullopt),
     kZip,
     0,
     {},
     {},
     {}},
    {"LinksAreIgnored", Entry("l.zip", kFTPResourceLink, 10), kZip, 0, {}, {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Entries, CrawlFTPEntryTest, ::testing::ValuesIn(kEntryCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CrawlFTPEntryRulesTest, CredentialsFilterAndRepeats) {
  const auto regex = CompileCrawlRegex(std::string("^a"));
  CrawlFTPRules rules;
  rules.extensionList = kZip;
  rules.regex = &*regex;
  rules.negateRegex = true;
  rules.user = "me";
  rules.password = "pw";
  CrawlFTPTables tables;
  CrawlFTPFolderResult result;
  const auto folder = *values::Url::Create(kFolder);
  for (const char* name : {"a.zip", "b.zip", "b.zip"})
    CrawlFTPEntry(Entry(name, kFTPResourceFile, 5), folder, rules, tables, result);
  EXPECT_EQ(result.found, (Files{"ftp://me:pw@h.test/pub/b.zip"}));
}

class FTPFolderCrawlerTest : public ::testing::Test {
 protected:
  explicit FTPFolderCrawlerTest(testservers::VsftpdServer::Options options = {}) : server_(options) {}
  void SetUp() override {
    ASSERT_TRUE(server_.ok());
    server_.MakeFolder("top");
    server_.MakeFolder("top/.hidden");
    server_.MakeFolder("top/sub");
    server_.MakeFolder("top/sub/deeper");
    server_.PutFile("top/a.zip", std::string(2000, 'a'));
    server_.PutFile("top/A2.ZIP", std::string(2000, 'A'));
    server_.PutFile("top/small.zip", std::string(1000, 's'));
    server_.PutFile("top/zero.zip", "");
    server_.PutFile("top/b.tar", std::string(3000, 'b'));
    server_.PutFile("top/.hidden/h.zip", std::string(3000, 'h'));
    server_.PutFile("top/sub/c.zip", std::string(4000, 'c'));
    server_.PutFile("top/sub/deeper/d.zip", std::string(5000, 'd'));
  }
  CrawlRequestRef Request(const std::string& path, std::int32_t levels,
                          std::optional<std::vector<std::string>> extensions = kZip) {
    CrawlRequestRef r = CreateCrawlRequest();
    r->startURL = server_.Url("ftp", path);
    r->levels = levels;
    r->extensionList = std::move(extensions);
    r->user = server_.User();
    r->password = server_.Password();
    r->crawlID = "ftp-scan";
    return r;
  }
  std::string FileURL(const std::string& path) const {
    return "ftp://" + server_.User() + ":" + server_.Password() +
           "@127.0.0.1:" + std::to_string(server_.Port()) + path;
  }
  testservers::VsftpdServer server_;
};

TEST_F(FTPFolderCrawlerTest, OneLevelListsTheStartFolderWithSizesAndTheMinimum) {
  auto request = Request("/top", 1);  // without the trailing slash: still a folder
  request->minimumSize = 1000;
  const auto scan = RunScan(request, true);
  EXPECT_EQ(scan.result, 0);
  ASSERT_EQ(scan.pages.size(), 1u);
  EXPECT_EQ(scan.pages[0].url, server_.Url("ftp", "/top/"));
  Files files = scan.Files();
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (Files{FileURL("/top/A2.ZIP"), FileURL("/top/a.zip")}));
  EXPECT_TRUE(scan.pages[0].hasSizes);
  EXPECT_FALSE(scan.pages[0].hasPreserve);
  EXPECT_EQ(scan.pages[0].sizes.at(FileURL("/top/a.zip")), 2000);
}

TEST_F(FTPFolderCrawlerTest, DeeperLevelsListSubfoldersButNeverDotFolders) {
  const auto scan = RunScan(Request("/top/", 3, std::nullopt), true);
  EXPECT_EQ(scan.result, 0);
  Files pages = scan.PageURLs();
  std::sort(pages.begin(), pages.end());
  EXPECT_EQ(pages, (Files{server_.Url("ftp", "/top/"), server_.Url("ftp", "/top/sub/"),
                          server_.Url("ftp", "/top/sub/deeper/")}));
  Files files = scan.Files();
  EXPECT_NE(std::find(files.begin(), files.end(), FileURL("/top/sub/deeper/d.zip")), files.end());
  EXPECT_EQ(std::find(files.begin(), files.end(), FileURL("/top/.hidden/h.zip")), files.end());
  // Without a list, a file of size 0 is taken, without a size.
  EXPECT_NE(std::find(files.begin(), files.end(), FileURL("/top/zero.zip")), files.end());
  EXPECT_FALSE(scan.Page(server_.Url("ftp", "/top/"))->sizes.contains(FileURL("/top/zero.zip")));
}

TEST_F(FTPFolderCrawlerTest, AStartFolderThatCannotBeListedIsReportedAsAFailure) {
  const auto scan = RunScan(Request("/absent/", 2), true);
  EXPECT_EQ(scan.result, 550);
  EXPECT_TRUE(scan.pages.empty());
  auto refused = Request("/top/", 1);
  refused->password = "wrong";
  EXPECT_EQ(RunScan(refused, true).result, 530);
}

class SlowFTPFolderCrawlerTest : public FTPFolderCrawlerTest {
 protected:
  SlowFTPFolderCrawlerTest() : FTPFolderCrawlerTest({.max_rate = 2000, .log_protocol = true}) {}
};

TEST_F(SlowFTPFolderCrawlerTest, AbortDuringAListingEndsTheScanPromptly) {
  // About 40 KB of listing at 2 KB/s: the scan is inside the listing when it is aborted.
  for (int i = 0; i < 500; ++i)
    server_.PutFile("top/file-with-a-long-name-" + std::to_string(i) + ".zip", "x");
  auto request = Request("/top/", 3);
  std::chrono::steady_clock::time_point aborted_at;
  std::thread aborter([&] {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < limit) {
      const auto commands = server_.Commands();
      if (std::any_of(commands.begin(), commands.end(),
                      [](const std::string& c) { return c.starts_with("LIST"); }))
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    aborted_at = std::chrono::steady_clock::now();
    request->Abort();
  });
  const auto scan = RunScan(request, true, std::chrono::seconds(60));
  const auto ended_at = std::chrono::steady_clock::now();
  aborter.join();
  EXPECT_TRUE(scan.finished);
  EXPECT_EQ(scan.result, 0);
  EXPECT_TRUE(scan.pages.empty());
  // Served within the scan's one-second slice; the bound leaves room for a loaded machine.
  EXPECT_LT(ended_at - aborted_at, std::chrono::seconds(5));
}

}  // namespace
}  // namespace engine
