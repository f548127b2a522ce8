#include <gtest/gtest.h>

#include <ostream>

#include <cstdlib>
#include <filesystem>

#include "app/queue/record/download_files.h"
#include "app/ui/services/folder_dialog_service.h"
#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/fakes/folder_dialog_service_fake.h"

namespace queue {
namespace {

using testing_support::DownloadTest;

class StartTest : public DownloadTest {
 public:
  void SetUp() override {
    DownloadTest::SetUp();
    dir = testsupport::MakeTempDir();
  }

  WrapperRef AddTo(const std::string& url, const std::string& folder) {
    AddDownloadRequest r = Request({url});
    r.destination = MakeAliasBytes(files::FileRef(folder));
    return LookUpDownloadWrapper(AddDownload(r));
  }

  std::string dir;
};

TEST_F(StartTest, FreshStartMakesThePackageAndHandsTheTaskItsContext) {
  WrapperRef first = AddTo("http://a.example/f.bin", dir);
  WrapperRef w = AddTo("http://a.example/g.bin", dir);
  w->element().checksum = "md5;00";
  w->element().flags = kFlagTaskOption;
  w->element().useAuth = true;
  w->element().authUser = "u";
  w->element().authPassword = "p";
  ASSERT_EQ(StartDownload(w), 0);
  EXPECT_QUEUE_CONSISTENT();
  EXPECT_EQ(first->element().queuePosition, 1);

  const std::string package = dir + "/g.bin.partial";
  EXPECT_TRUE(std::filesystem::is_regular_file(package + "/g.bin"));
  EXPECT_TRUE(std::filesystem::is_regular_file(package + "/downloadInfo"));
  auto props = values::ReadPropertyListFile(package + "/properties.plist");
  ASSERT_TRUE(props.ok());
  EXPECT_EQ(props->Find("uid")->Int64Or(0), static_cast<std::int64_t>(w->uid()));
  EXPECT_EQ(props->Find("dataFileName")->StringOr(""), "g.bin");
  std::vector<std::string> files;
  AppendDownloadFileURLs(files);
  EXPECT_EQ(files, std::vector<std::string>{package});

  EXPECT_EQ(w->status(), kStatusStarting);
  EXPECT_TRUE(w->element().returnToQueue);
  EXPECT_EQ(gActiveDownloads, std::vector<DownloadUID>{w->uid()});
  ASSERT_EQ(engine->tasks.size(), 1u);
  const engine::DownloadThreadState& s = *engine->tasks[0].state;
  EXPECT_EQ(s.uid, w->uid());
  EXPECT_EQ(s.dataFile, package + "/g.bin");
  EXPECT_EQ(s.rangesFile, package + "/downloadInfo");
  EXPECT_EQ(s.checksum, "md5;00");
  EXPECT_TRUE(s.taskOption);
  EXPECT_EQ(s.user, "u");
  EXPECT_EQ(s.password, "p");
  EXPECT_EQ(s.wantedConnections, 3);
  EXPECT_EQ(s.hostCounts, (std::map<std::string, std::int32_t>{{"a.example", 1}}));
  EXPECT_EQ(engine::GetHostCounts().Count("a.example"), 1);
  EXPECT_TRUE(mainList->Logged("Download of http://a.example/g.bin starting\r"));

  // The stop source reaches the task.
  ASSERT_TRUE(w->element().stopSource);
  w->element().stopSource->Signal();
  EXPECT_TRUE(s.stopSource->IsSignalled());
  // Starting a running download does nothing.
  EXPECT_EQ(StartDownload(w), 0);
  EXPECT_EQ(engine->tasks.size(), 1u);
}

TEST_F(StartTest, TakenPackageNamesAreNumbered) {
  std::filesystem::create_directory(dir + "/f.bin.partial");
  std::filesystem::create_directory(dir + "/f.bin.1.partial");
  WrapperRef w = AddTo("http://a.example/f.bin", dir);
  ASSERT_EQ(StartDownload(w), 0);
  EXPECT_EQ(engine->tasks[0].state->dataFile, dir + "/f.bin.2.partial/f.bin");
}

TEST_F(StartTest, LongNamesFitTheFileSystem) {
  const std::string name(250, 'x');
  WrapperRef w = AddTo("http://a.example/" + name + "%C3%A9", dir);
  ASSERT_TRUE(w);
  w->setFilename(std::string(252, 'y') + "\xC3\xA9");  // 254 bytes, a two-byte character at the end
  ASSERT_EQ(StartDownload(w), 0);
  const std::string package =
      std::filesystem::path(engine->tasks[0].state->dataFile).parent_path().filename();
  EXPECT_LE(package.size(), 255u);
  EXPECT_EQ(package, std::string(247, 'y') + ".partial");
}

// However a name reached the record, the package and its file are made inside the
// download folder.
TEST_F(StartTest, ANameThatIsAPathStaysInsideTheDownloadFolder) {
  const struct {
    const char* name;
    const char* package;
  } cases[] = {
      {"../../../../elsewhere/escaped", "elsewhereescaped.partial"},
      {"..", "temp1.partial"},
      {"/", "temp1.partial"},
      {"sub/../../up", "sub....up.partial"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = testsupport::MakeTempDir() + "/downloads";
    std::filesystem::create_directory(folder);
    WrapperRef w = AddTo("http://a.example/f.bin", folder);
    ASSERT_TRUE(w);
    w->element().filename = c.name;
    const std::size_t before = engine->tasks.size();
    ASSERT_EQ(StartDownload(w), 0);
    ASSERT_EQ(engine->tasks.size(), before + 1);
    const std::filesystem::path data = engine->tasks.back().state->dataFile;
    EXPECT_EQ(data.parent_path().parent_path(), std::filesystem::path(folder));
    EXPECT_EQ(data.parent_path().filename(), c.package);
    std::vector<std::string> inFolder;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder).parent_path()))
      inFolder.push_back(entry.path().filename());
    EXPECT_EQ(inFolder, std::vector<std::string>{"downloads"});
  }
}

TEST(PartialPackage, ANameThatIsNotOneComponentIsRefused) {
  const files::FileRef folder(testsupport::MakeTempDir());
  for (const char* name : {"", ".", "..", "../x", "a/b"}) {
    EXPECT_EQ(MakePartialPackage(folder, name).code(), files::bdNamErr) << name;
  }
  EXPECT_TRUE(MakePartialPackage(folder, "ok.bin").ok());
}

TEST_F(StartTest, RestartingACompletedDownloadStartsAfresh) {
  WrapperRef w = AddTo("http://a.example/f.bin", dir);
  RemoveFromQueueOrder(w->uid());
  w->setStatus(kStatusCompleted);
  DownloadQueueElement& e = w->element();
  e.finished = true;
  e.duration = 12;
  e.progress = 100;
  e.fileSize = 100;
  e.completeURL = values::FileUrlFromPath(dir + "/f.bin", false);
  e.urlData[0].Put("fatalError", true);
  e.urlData[0].Put("norestarts", true);
  ASSERT_EQ(StartDownload(w), 0);
  EXPECT_FALSE(e.completeURL);
  EXPECT_EQ(e.duration, 0);
  EXPECT_EQ(e.progress, 0);
  EXPECT_FALSE(e.finished);
  const engine::DownloadThreadState& s = *engine->tasks[0].state;
  EXPECT_EQ(s.totalSize, 0);
  EXPECT_FALSE(s.sizeKnown);
  EXPECT_EQ(s.urlEntries[0].Find("fatalError"), nullptr);
  EXPECT_EQ(s.urlEntries[0].Find("norestarts"), nullptr);
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(StartTest, ResumeReusesThePackageAndRestoresItsRangesFile) {
  WrapperRef w = AddTo("http://a.example/f.bin", dir);
  testsupport::WriteFile(dir + "/old.partial/f.bin", "abc");
  w->element().fileAlias = MakeAliasBytes(files::FileRef(dir + "/old.partial/f.bin"));
  ASSERT_EQ(StartDownload(w), 0);
  EXPECT_EQ(engine->tasks[0].state->dataFile, dir + "/old.partial/f.bin");
  EXPECT_TRUE(std::filesystem::exists(dir + "/old.partial/downloadInfo"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/f.bin.partial"));
}

struct FailureCase {
  const char* name;
  std::int32_t result;
  const char* message;
  friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class StartFailureTest : public StartTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(StartFailureTest, FailedStartLeavesTheQueueOrder) {
  const FailureCase& c = GetParam();
  WrapperRef w;
  std::string saved;
  if (const char* old = std::getenv("XDG_DOWNLOAD_DIR")) saved = old;
  if (std::string(c.name) == "NoDownloadFolder") {
    // Something that is not a folder stands where the downloads go.
    testsupport::WriteFile(dir + "/plain-file", "x");
    setenv("XDG_DOWNLOAD_DIR", (dir + "/plain-file").c_str(), 1);
    w = LookUpDownloadWrapper(Add("http://a.example/f.bin"));
  } else if (std::string(c.name) == "PackageCannotBeMade") {
    testsupport::WriteFile(dir + "/plain-file", "x");
    w = AddTo("http://a.example/f.bin", dir + "/plain-file");
  } else {
    engine->refuse = true;
    w = AddTo("http://a.example/f.bin", dir);
  }
  Add("http://a.example/next");
  EXPECT_EQ(StartDownload(w), c.result);
  if (saved.empty()) {
    unsetenv("XDG_DOWNLOAD_DIR");
  } else {
    setenv("XDG_DOWNLOAD_DIR", saved.c_str(), 1);
  }
  EXPECT_EQ(w->status(), kStatusFailed);
  EXPECT_QUEUE_CONSISTENT();
  EXPECT_EQ(gQueueOrder.size(), 1u);
  EXPECT_TRUE(gActiveDownloads.empty());
  EXPECT_EQ(engine::GetHostCounts().Count("a.example"), 0);
  EXPECT_TRUE(mainList->Logged(c.message));
  ASSERT_EQ(messages.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Failures, StartFailureTest,
                         testing::Values(FailureCase{"NoDownloadFolder", kStartNoDownloadFolder,
                                                     "could not find its download folder"},
                                         FailureCase{"PackageCannotBeMade", kStartCancelled,
                                                     "Couldn't create destination file. Error"},
                                         FailureCase{"EngineRefuses", kStartNoTask,
                                                     "Couldn't start the download"}),
                         [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(StartTest, FakeTaskWritesTheFileAndReportsTheDownloadEvents) {
  WrapperRef w = AddTo("http://a.example/f.bin", dir);
  ASSERT_EQ(StartDownload(w), 0);
  engine->Complete(0, "hello");
  EXPECT_EQ(testsupport::ReadFile(dir + "/f.bin.partial/f.bin"), "hello");
  EXPECT_EQ(testsupport::ReadFile(dir + "/f.bin.partial/downloadInfo"), "0,5\n");
  std::vector<std::uint32_t> kinds;
  for (const auto& event : engine->events) kinds.push_back(event->kind());
  EXPECT_EQ(kinds, (std::vector<std::uint32_t>{2, 4, 0, 1}));
}

struct LimitCase {
  const char* name;
  std::map<std::string, std::int32_t> table;
  bool limitOn;
  std::int32_t maxDomain;
  std::int32_t running;  // downloads already running on the host
  bool canStart;
  friend void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }
};

class HostLimitTest : public DownloadTest, public testing::WithParamInterface<LimitCase> {};

TEST_P(HostLimitTest, Decides) {
  const LimitCase& c = GetParam();
  util::ChangeSettings([&](util::Settings& s) {
    s.domainLimits = util::DomainLimits(c.table.begin(), c.table.end());
    s.limitSimultaneousDownloads = c.limitOn;
    s.maxDomainDownloads = c.maxDomain;
  });
  const auto url = values::Url::Create("http://a.b.c/f");
  for (int i = 0; i < c.running; ++i) engine::GetHostCounts().IncrementForURL(*url, nullptr);
  DownloadQueueElement e;
  e.domains = {"a.b.c"};
  EXPECT_EQ(CanStartUnderHostLimits(e), c.canStart);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, HostLimitTest,
    testing::Values(LimitCase{"ParentDomainLimitReached", {{".b.c", 2}}, false, 1, 2, false},
                    LimitCase{"ParentDomainLimitNotReached", {{".b.c", 2}}, false, 1, 1, true},
                    LimitCase{"TopDomainLimit", {{".c", 1}}, false, 1, 1, false},
                    LimitCase{"ExactHostWins", {{"a.b.c", 3}, {".b.c", 1}}, false, 1, 2, true},
                    LimitCase{"NoEntryAndLimitOffAlwaysStarts", {}, false, 1, 50, true},
                    LimitCase{"NoEntryUsesTheDefault", {{".other", 5}}, true, 2, 2, false},
                    LimitCase{"DefaultZeroCountsAsOne", {}, true, 0, 1, false},
                    LimitCase{"NothingRunning", {}, true, 1, 0, true}),
    [](const testing::TestParamInfo<LimitCase>& info) { return info.param.name; });

TEST_F(StartTest, PeerItemStartsAsALocalCopy) {
  auto peer = DownloadQueueWrapper::Create();
  peer->element().uid = 5;
  peer->element().hostID = 77;
  peer->element().status = kStatusStopped;
  peer->element().fileSize = 1234;
  peer->element().urlData = {Entry("http://peer.example:8080/1?dig")};
  // "Ask where to save": one folder question for the pass, its answer the local copy's folder.
  prefs::PreferenceStore store(testsupport::MakeTempDir("prefs"));
  util::SetSettingsPreferences(&store);
  util::SetPreferenceValue("downloadMode", 2);
  auto dialog = std::make_unique<ui::FakeFolderDialogService>();
  ui::FakeFolderDialogService& asked = *dialog;
  ui::FolderDialogServiceSlot::Set(std::move(dialog));
  asked.answers = {{ui::ChooseFolderAnswer::Kind::kChosen, dir},
                   {ui::ChooseFolderAnswer::Kind::kCancelled, ""}};
  util::ResetSessionState();
  ASSERT_EQ(StartDownload(peer), 0);
  ASSERT_EQ(engine->tasks.size(), 1u);
  WrapperRef local = LookUpDownloadWrapper(engine->tasks[0].state->uid);
  ASSERT_TRUE(local);
  EXPECT_EQ(local->hostUID(), 0u);
  EXPECT_EQ(local->fileSize(), 1234);
  EXPECT_EQ(local->status(), kStatusStarting);
  EXPECT_EQ(ResolveAliasField(local->element().destination).value_or(files::FileRef()).Path(), dir);
  util::ResetSessionState();
  EXPECT_EQ(StartDownload(peer), kStartCancelled);
  EXPECT_EQ(asked.openedAt.size(), 2u);
  EXPECT_QUEUE_CONSISTENT();
  ui::FolderDialogServiceSlot::Set(nullptr);
  util::SetSettingsPreferences(nullptr);
  util::ResetSessionState();
}

}  // namespace
}  // namespace queue
