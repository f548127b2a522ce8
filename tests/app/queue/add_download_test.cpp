#include <gtest/gtest.h>

#include <ostream>

#include <filesystem>

#include "app/queue/record/download_files.h"
#include "app/util/settings/settings_store.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/services/desktop_services.h"
#include "tests/app/queue/download_test_support.h"

namespace queue {
namespace {

using testing_support::DownloadTest;

struct RefusedCase {
  const char* name;
  values::Array entries;
  bool message;
  friend void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }
};

class RefusedListTest : public DownloadTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedListTest, AddsNothing) {
  AddDownloadRequest r;
  r.urlEntries = GetParam().entries;
  EXPECT_EQ(AddDownload(r), 0u);
  EXPECT_TRUE(gQueueItems.empty());
  EXPECT_EQ(messages.size(), GetParam().message ? 1u : 0u);
  if (GetParam().message) {
    EXPECT_EQ(messages[0], kUnsupportedSchemeMessage);
  }
  EXPECT_QUEUE_CONSISTENT();
}

INSTANTIATE_TEST_SUITE_P(
    Lists, RefusedListTest,
    testing::Values(
        RefusedCase{"Empty", {}, false},
        RefusedCase{"EntryWithoutURL",
                    {DownloadTest::Entry("http://a.example/f"), values::Value(values::Dictionary{})},
                    false},
        RefusedCase{"EntryNotADictionary", {values::Value("http://a.example/f")}, false},
        RefusedCase{"MailtoSecond",
                    {DownloadTest::Entry("http://a.example/f"), DownloadTest::Entry("mailto:x@y.example")},
                    true}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

struct ConnectionsCase {
  std::int32_t given;
  std::int32_t stored;
  friend void PrintTo(const ConnectionsCase& c, std::ostream* os) { *os << c.given; }
};

class ConnectionsTest : public DownloadTest, public testing::WithParamInterface<ConnectionsCase> {};

TEST_P(ConnectionsTest, KeptWithinOneToThirtyTwo) {
  util::ChangeSettings([](util::Settings& s) { s.defaultPorts = 5; });
  AddDownloadRequest r = Request({"http://a.example/f"});
  r.connections = GetParam().given;
  const DownloadUID uid = AddDownload(r);
  EXPECT_EQ(LookUpDownloadWrapper(uid)->element().connections, GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Connections, ConnectionsTest,
                         testing::Values(ConnectionsCase{-3, 1}, ConnectionsCase{40, 32},
                                         ConnectionsCase{0, 5}, ConnectionsCase{7, 7}));

TEST_F(DownloadTest, NewDownloadJoinsTheEndOfTheQueueAndMyDownloads) {
  std::vector<std::string> urls = {"http://a.example/one.zip"};
  AddDownloadRequest r = Request(urls);
  r.urlEntries[0].Put("relativePath", "sub");
  r.batchID = "B";
  const DownloadUID first = AddDownload(r);
  ASSERT_NE(first, 0u);
  // The record holds a copy of the list: the caller's later edits do not reach it.
  r.urlEntries[0].Put("url", "http://changed.example/");
  WrapperRef w = LookUpDownloadWrapper(first);
  EXPECT_EQ(w->url(), "http://a.example/one.zip");
  EXPECT_EQ(w->filename(), "one.zip");
  EXPECT_EQ(w->element().domains, std::vector<std::string>{"a.example"});
  EXPECT_EQ(w->element().relativeLocation, "sub");
  EXPECT_EQ(w->element().batchID, "B");
  EXPECT_EQ(w->element().historyPosition, -1);
  EXPECT_EQ(w->foldersContainedIn(), std::set<ViewID>{kMyDownloadsViewID});
  EXPECT_EQ(GetFolderItemCount(kMyDownloadsViewID), 1u);
  EXPECT_TRUE(gQueueChanged);
  Add("http://a.example/2");
  const DownloadUID third = Add("http://a.example/3");
  EXPECT_EQ(LookUpDownloadWrapper(third)->element().queuePosition, 3);
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(DownloadTest, GivenPositionMovesTheDownloadThere) {
  const DownloadUID a = Add("http://a.example/a"), b = Add("http://a.example/b"),
                    c = Add("http://a.example/c");
  AddDownloadRequest r = Request({"http://a.example/d"});
  r.queuePosition = 1;
  const DownloadUID d = AddDownload(r);
  EXPECT_EQ(gQueueOrder, (std::vector<DownloadUID>{d, a, b, c}));
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(DownloadTest, GivenUIDThatIsTakenIsReplaced) {
  AddDownloadRequest r = Request({"http://a.example/a"});
  r.uid = 42;
  EXPECT_EQ(AddDownload(r), 42u);
  const DownloadUID second = AddDownload(r);
  EXPECT_NE(second, 42u);
  EXPECT_EQ(gQueueItems.size(), 2u);
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(DownloadTest, SwitchMainShowsTheNewDownload) {
  util::ChangeSettings([](util::Settings& s) { s.switchMain = true; });
  AddDownloadRequest r = Request({"http://a.example/a"});
  r.select = true;
  const DownloadUID hidden = AddDownload(r);
  EXPECT_EQ(mainList->showRequests, std::vector<DownloadUID>{hidden});
  mainList->libraryShown = true;
  const DownloadUID shown = AddDownload(r);
  EXPECT_EQ(mainList->revealed, std::vector<DownloadUID>{shown});
  ASSERT_EQ(mainList->newRows.size(), 1u);
  EXPECT_EQ(mainList->newRows[0], std::make_pair(shown, true));
}

TEST_F(DownloadTest, CredentialsAreStoredPerHostWhenAsked) {
  std::vector<std::string> hosts;
  QueueHooksSlot::Get().storeCredentials = [&](const values::Url& url, const std::string&,
                                               const std::string&) {
    hosts.push_back(url.Scheme() + "://" + url.Host().value_or(""));
  };
  AddDownloadRequest r = Request({"http://a.example/f", "ftp://b.example/f"});
  r.useAuth = true;
  r.user = "u";
  r.password = "p";
  AddDownload(r);
  EXPECT_TRUE(hosts.empty());
  r.saveCredentials = true;
  AddDownload(r);
  EXPECT_EQ(hosts, (std::vector<std::string>{"http://a.example", "ftp://b.example"}));
}

TEST_F(DownloadTest, URLListFileAddsEachURLOnce) {
  const std::string dir = testsupport::MakeTempDir();
  testsupport::WriteFile(dir + "/list.txt",
                         "Files:\nURL: http://a.example/one.zip\r\n  url: ftp://b.example/two.bin more text\n"
                         "url:nospace http://c.example/\n");
  EXPECT_EQ(AddDownloadsFromURLListFile(files::FileRef(dir + "/list.txt")), 2u);
  EXPECT_EQ(gQueueItems.size(), 2u);
  testsupport::WriteFile(dir + "/bad.txt", "url: http://a.example/\xff\xfe");
  EXPECT_EQ(AddDownloadsFromURLListFile(files::FileRef(dir + "/bad.txt")), 0u);
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(DownloadTest, ClipboardLinesBecomeDownloads) {
  toolbox::Application::Shared();
  toolbox::SetClipboardText("http://a.example/one.zip\n\nx\n  http://b.example/two.zip  \n");
  EXPECT_EQ(AddDownloadsFromClipboard(), 2u);
  EXPECT_EQ(gQueueItems.size(), 2u);
  // One user action: one batch.
  EXPECT_EQ(gQueueItems.begin()->second->element().batchID,
            std::next(gQueueItems.begin())->second->element().batchID);
}

TEST_F(DownloadTest, BrowserDownloadBecomesAPartialPackage) {
  const std::string dir = testsupport::MakeTempDir();
  const std::string bundle = dir + "/movie.mov.download";
  testsupport::WriteFile(bundle + "/movie.mov", "123456");
  values::Value info(values::Dictionary{
      {"DownloadEntryAliasBlob", values::Data{*MakeAliasBytes(files::FileRef(bundle + "/movie.mov"))}},
      {"DownloadEntryURL", "http://a.example/movie.mov"},
      // More than the file holds: resuming from there would leave a hole.
      {"DownloadEntryProgressBytesSoFar", values::Number::Int64(10)},
      {"DownloadEntryResumeInformation",
       values::Value(
           values::Dictionary{{"NSURLDownloadEntityTag", "\"etag\""},
                              {"NSURLDownloadServerModificationDate", "Tue, 01 Jan 2008 00:00:00 GMT"}})},
  });
  WriteQueueFile(info, bundle + "/Info.plist");
  EXPECT_FALSE(ImportBrowserDownload(files::FileRef(dir)));
  EXPECT_TRUE(ImportBrowserDownload(files::FileRef(bundle)));
  ASSERT_EQ(gQueueItems.size(), 1u);
  WrapperRef w = gQueueItems.begin()->second;
  EXPECT_EQ(w->element().connections, 1);  // the total is unknown
  EXPECT_EQ(w->fileSize(), -1);
  EXPECT_EQ(*w->URLData()[0].Find("ETag"), values::Value("\"etag\""));
  const std::string package = dir + "/movie.mov.partial";
  EXPECT_FALSE(std::filesystem::exists(bundle));
  EXPECT_EQ(testsupport::ReadFile(package + "/downloadInfo"), "0,6\n");
  EXPECT_FALSE(std::filesystem::exists(package + "/Info.plist"));
  EXPECT_TRUE(std::filesystem::exists(package + "/properties.plist"));
  EXPECT_EQ(ResolveAliasField(w->element().fileAlias)->Path(), package + "/movie.mov");
  EXPECT_EQ(ResolveAliasField(w->element().destination)->Path(), dir);
}

TEST_F(DownloadTest, ReopenedPackageOfAQueuedDownloadOnlyRevealsIt) {
  const std::string dir = testsupport::MakeTempDir();
  AddDownloadRequest r = Request({"http://a.example/f.bin"});
  r.destination = MakeAliasBytes(files::FileRef(dir));
  const DownloadUID uid = AddDownload(r);
  ASSERT_EQ(StartDownload(LookUpDownloadWrapper(uid)), 0);
  const files::FileRef package(dir + "/f.bin.partial");
  EXPECT_EQ(AddDownloadFromPartialPackage(package), uid);
  EXPECT_EQ(gQueueItems.size(), 1u);
  EXPECT_EQ(mainList->revealed, std::vector<DownloadUID>{uid});

  // In another queue the package comes back under its own UID, ready to resume.
  ClearQueueTables();
  const DownloadUID back = AddDownloadFromPartialPackage(package);
  EXPECT_EQ(back, uid);
  EXPECT_EQ(ResolveAliasField(LookUpDownloadWrapper(back)->element().fileAlias)->Path(),
            package.Path() + "/f.bin");
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(DownloadTest, AppendedMirrorsFollowTheOldOnes) {
  WrapperRef w = LookUpDownloadWrapper(Add("http://a.example/f"));
  AppendURLEntries({Entry("http://b.example/f")}, w);
  ASSERT_EQ(w->URLData().size(), 2u);
  EXPECT_EQ(*w->URLData()[1].Find("url"), values::Value("http://b.example/f"));
  QueueItemsRemove(w->uid());
  AppendURLEntries({Entry("http://c.example/f")}, w);  // no longer queued: unchanged
  EXPECT_EQ(w->URLData().size(), 2u);
}

}  // namespace
}  // namespace queue
