#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/log/transfer_log.h"
#include "app/queue/events/completion.h"
#include "app/queue/events/download_events.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/download_files.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/files/alias.h"
#include "platform/files/xattr.h"
#include "platform/values/localize.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/fakes/fake_download_event_views.h"
#include "tests/fakes/fake_notifier.h"
#include "tests/fakes/fake_scripting_services.h"
#include "tests/fakes/fake_sound_player.h"
#include "tests/fakes/fake_system_actions.h"
#include "tests/fakes/fake_workspace.h"

namespace queue {
namespace {

namespace p = download_params;
using testing_support::DownloadTest;

runtime::EventRef Make(std::uint32_t kind, std::optional<DownloadUID> uid) {
  auto event = runtime::Event::Create(kDownloadEventClass, kind);
  if (uid) event->SetUInt32(p::kUID, *uid);
  return event;
}

class DownloadEventsTest : public DownloadTest {
 public:
  void SetUp() override {
    DownloadTest::SetUp();
    auto v = std::make_unique<FakeDownloadEventViews>();
    views = v.get();
    ui::DownloadEventViewsSlot::Set(std::move(v));
    dir = testsupport::MakeTempDir();
    CancelWhenDoneCheck();
    CompletionHooksSlot::Get() = CompletionHooks{};
    gQueueRunning = false;
    gUploadQueueRunning = false;
    for (const char* key : {"inactivity timer duration", "take action when done", "post download action",
                            "remove when", "playsound1", "playsoundall", "download sound", "queue sound"}) {
      util::SetPreferenceValue(key, values::Value());
    }
  }
  void TearDown() override {
    CancelWhenDoneCheck();
    ui::DownloadEventViewsSlot::Set(nullptr);
    DownloadTest::TearDown();
  }

  WrapperRef AddTo(const std::string& url, const std::string& folder) {
    AddDownloadRequest r = Request({url});
    r.destination = MakeAliasBytes(files::FileRef(folder));
    return LookUpDownloadWrapper(AddDownload(r));
  }

  // A download started through the fake engine: Starting, in gActiveDownloads.
  WrapperRef Started(const std::string& url) {
    WrapperRef w = AddTo(url, dir);
    EXPECT_EQ(StartDownload(w), 0);
    return w;
  }

  static void Send(const runtime::EventRef& event) {
    EXPECT_EQ(HandleDownloadThreadEvent(*event), runtime::kNoErr);
  }

  void PlayEngine(std::size_t task, const std::string& bytes) {
    const std::size_t first = engine->events.size();
    engine->Complete(task, bytes);
    for (std::size_t i = first; i < engine->events.size(); ++i) Send(engine->events[i]);
  }

  FakeDownloadEventViews* views = nullptr;
  std::string dir;
};

TEST_F(DownloadEventsTest, OtherClassesAndKindsAreNotHandled) {
  auto other = runtime::Event::Create(values::FourCC("TrUC"), 1);
  EXPECT_EQ(HandleDownloadThreadEvent(*other), runtime::kEventNotHandledErr);
  EXPECT_EQ(HandleDownloadThreadEvent(*Make(9, 1)), runtime::kEventNotHandledErr);
  // Unknown UIDs and missing UIDs are dropped quietly.
  for (std::uint32_t kind : {0u, 2u, 4u, 7u, 8u}) {
    EXPECT_EQ(HandleDownloadThreadEvent(*Make(kind, 12345)), runtime::kNoErr);
    EXPECT_EQ(HandleDownloadThreadEvent(*Make(kind, std::nullopt)), runtime::kNoErr);
  }
  EXPECT_TRUE(mainList->rowUpdates.empty());
  EXPECT_TRUE(views->credentialRequests.empty());
}

TEST_F(DownloadEventsTest, KindsUpdateTheRecord) {
  WrapperRef w = Started("http://a.example/file.bin");
  const DownloadUID uid = w->uid();

  Send(Make(kDownloadEventStarted, uid));
  EXPECT_EQ(w->status(), kStatusDownloading);

  auto progress = Make(kDownloadEventProgress, uid);
  progress->SetFloat(p::kRate, 12.5f);
  progress->SetInt64(p::kTotal, 4096);
  progress->SetDouble(p::kTime, 2.5);
  progress->SetInt32(p::kPorts, 3);
  progress->SetValue(p::kRanges, values::Value(values::Array{values::Value("0,4096")}));
  Send(progress);
  EXPECT_FLOAT_EQ(w->element().rate, 12.5f);
  EXPECT_EQ(w->element().progress, 4096);
  EXPECT_DOUBLE_EQ(w->element().elapsed, 2.5);
  EXPECT_EQ(w->element().openConnections, 3);
  EXPECT_EQ(DownloadReceivedRanges().at(uid).size(), 1u);
  EXPECT_EQ(views->inspectorUpdates, std::vector<std::uint32_t>{uid});
  EXPECT_EQ(views->changedRows.back(), uid);

  // A progress report without some fields leaves them.
  auto partial = Make(kDownloadEventProgress, uid);
  partial->SetInt64(p::kTotal, 8192);
  Send(partial);
  EXPECT_EQ(w->element().openConnections, 3);
  EXPECT_EQ(w->element().progress, 8192);

  auto info = Make(kDownloadEventFileInfo, uid);
  info->SetInt64(p::kSize, 100000);
  info->SetString(p::kName, "server name.bin");
  info->SetBool(p::kNameFromServer, true);
  info->SetData(p::kAlias, values::Bytes{1, 2, 3});
  Send(info);
  EXPECT_EQ(w->fileSize(), 100000);
  EXPECT_EQ(w->filename(), "server name.bin");
  EXPECT_TRUE(w->element().flags & kFlagFilenameFixed);
  EXPECT_EQ(w->element().fileAlias, (values::Bytes{1, 2, 3}));
  EXPECT_TRUE(gQueueChanged);

  // The engine names the data file by its path; the record keeps an alias of it.
  auto moved = Make(kDownloadEventFileInfo, uid);
  const std::string dataFile = dir + "/file.bin.partial/file.bin";
  moved->SetFileRef(p::kAlias, dataFile);
  Send(moved);
  ASSERT_TRUE(w->element().fileAlias);
  auto record = files::AliasFromBytes(*w->element().fileAlias);
  ASSERT_TRUE(record.ok());
  EXPECT_EQ(record.value().path, dataFile);

  // A name that is not one safe path component is refused.
  for (const char* bad : {"../../.bashrc", "a/b", "..", ""}) {
    auto evil = Make(kDownloadEventFileInfo, uid);
    evil->SetString(p::kName, bad);
    Send(evil);
    EXPECT_EQ(w->filename(), "server name.bin") << bad;
  }

  Send(Make(kDownloadEventVerifying, uid));
  EXPECT_EQ(w->status(), kStatusVerifying);
}

TEST_F(DownloadEventsTest, CertificateAndCredentialQuestionsGoToTheWindows) {
  WrapperRef w = Started("https://a.example/dir/f.iso");
  const DownloadUID uid = w->uid();
  auto root = Make(kDownloadEventUnknownRoot, uid);
  root->SetString(p::kURL, "https://a.example/dir/f.iso");
  root->SetValue(p::kStreamError, EncodeStreamError({3, -9812}));
  Send(root);
  auto trust = Make(kDownloadEventCertificateQuestion, uid);
  trust->SetString(p::kURL, "https://a.example/dir/f.iso");
  Send(trust);
  // URL_ is required.
  Send(Make(kDownloadEventCertificateQuestion, uid));
  Send(Make(kDownloadEventAuthRequired, uid));
  ASSERT_EQ(views->certificateQuestions.size(), 2u);
  EXPECT_EQ(views->certificateQuestions[0].kind, 5);
  EXPECT_EQ(views->certificateQuestions[0].domain, 3);
  EXPECT_EQ(views->certificateQuestions[0].code, -9812);
  EXPECT_EQ(views->certificateQuestions[1].kind, 6);
  EXPECT_TRUE(views->credentialRequests.empty());

  auto auth = Make(kDownloadEventAuthRequired, uid);
  auth->SetString(p::kURL, "https://a.example/dir/f.iso");
  Send(auth);
  ASSERT_EQ(views->credentialRequests.size(), 1u);
  EXPECT_EQ(views->credentialRequests[0].host, "a.example");
  EXPECT_EQ(views->credentialRequests[0].displayName, "f.iso");
}

// Each certificate answer goes back to the task that asked: trust (for this session or
// always) or refuse; the headless views refuse at once, so a download without a window
// never waits on a question.
TEST_F(DownloadEventsTest, CertificateAnswersReachTheTask) {
  WrapperRef w = Started("https://a.example/f");
  auto controller = engine->tasks.at(0).controller;
  auto ask = [&](std::uint32_t kind) {
    auto e = Make(kind, w->uid());
    e->SetString(p::kURL, "https://a.example/f");
    e->SetValue(p::kTrust, values::Value(values::Array{values::Value(values::Data{{0x30, 0x00}})}));
    Send(e);
  };
  ask(kDownloadEventUnknownRoot);
  ask(kDownloadEventCertificateQuestion);
  ask(kDownloadEventUnknownRoot);
  ASSERT_EQ(views->certificateQuestions.size(), 3u);
  EXPECT_TRUE(views->certificateQuestions[0].hasTrust);
  views->AnswerCertificate(0, {true, false});
  views->AnswerCertificate(1, {true, true});
  views->AnswerCertificate(2, {});
  EXPECT_EQ(controller->certificateAnswers, (std::vector<std::string>{"trust", "always", "refuse"}));

  ui::DownloadEventViewsSlot::Set(nullptr);  // headless
  ask(kDownloadEventUnknownRoot);
  ask(kDownloadEventCertificateQuestion);
  EXPECT_EQ(controller->certificateAnswers,
            (std::vector<std::string>{"trust", "always", "refuse", "refuse", "refuse"}));
}

TEST_F(DownloadEventsTest, CredentialsAnswerReachesOnlyARunningTask) {
  std::vector<std::string> stored;
  QueueHooksSlot::Get().storeCredentials = [&](const values::Url& url, const std::string& user,
                                               const std::string&) {
    stored.push_back(url.Host().value_or("") + ":" + user);
  };
  WrapperRef w = Started("http://a.example/f");
  Send(Make(kDownloadEventStarted, w->uid()));
  auto controller = engine->tasks.at(0).controller;
  for (int i = 0; i < 3; ++i) ShowAuthRequiredWindow(w->uid(), "http://a.example/f");

  views->AnswerCredentials(0, {true, "ann", "secret", true});
  ASSERT_EQ(controller->credentials.size(), 1u);
  EXPECT_EQ(controller->credentials[0].first, "ann");
  EXPECT_EQ(controller->credentials[0].second, "secret");
  EXPECT_TRUE(w->element().useAuth);
  EXPECT_EQ(w->element().authUser, "ann");
  EXPECT_EQ(stored, std::vector<std::string>{"a.example:ann"});

  // Cancel signals the stop source.
  auto stop = w->element().stopSource;
  ASSERT_TRUE(stop);
  views->AnswerCredentials(1, {});
  EXPECT_TRUE(stop->IsSignalled());

  // After the task reported its stop, OK posts nothing and changes nothing.
  auto finished = Make(kDownloadEventFinished, w->uid());
  finished->SetInt32(p::kReason, kFinishStopped);
  Send(finished);
  views->AnswerCredentials(2, {true, "bob", "pw", false});
  EXPECT_EQ(controller->credentials.size(), 1u);
  EXPECT_EQ(w->element().authUser, "ann");
}

TEST_F(DownloadEventsTest, StopWithRequeueComesBackAtTheHeadOfTheQueue) {
  WrapperRef a = AddTo("http://a.example/1", dir);
  WrapperRef b = AddTo("http://a.example/2", dir);
  WrapperRef running = Started("http://a.example/3");
  running->element().requeueOnStop = true;
  auto finished = Make(kDownloadEventFinished, running->uid());
  finished->SetInt32(p::kReason, kFinishStopped);
  finished->SetDouble(p::kTime, 3.0);
  Send(finished);
  EXPECT_EQ(running->status(), kStatusQueued);
  EXPECT_EQ(running->element().queuePosition, 1);
  EXPECT_EQ(a->element().queuePosition, 2);
  EXPECT_EQ(b->element().queuePosition, 3);
  EXPECT_FALSE(running->element().requeueOnStop);
  EXPECT_DOUBLE_EQ(running->element().duration, 3.0);
  EXPECT_FALSE(running->element().controller);
  EXPECT_TRUE(gActiveDownloads.empty());
  EXPECT_EQ(mainList->columnUpdates.size(), 2u);
  EXPECT_QUEUE_CONSISTENT();
  // A stop with no when-done check pending arms none.
  EXPECT_FALSE(PendingWhenDoneTimer());

  WrapperRef plain = Started("http://a.example/4");
  auto stopped = Make(kDownloadEventFinished, plain->uid());
  stopped->SetInt32(p::kReason, kFinishStopped);
  Send(stopped);
  EXPECT_EQ(plain->status(), kStatusStopped);
}

TEST_F(DownloadEventsTest, FinishedForAGoneDownloadStillLeavesTheActiveList) {
  WrapperRef w = Started("http://a.example/f");
  const DownloadUID uid = w->uid();
  QueueItemsRemove(uid);
  gQueueChanged = false;
  auto finished = Make(kDownloadEventFinished, uid);
  finished->SetInt32(p::kReason, kFinishDone);
  Send(finished);
  EXPECT_TRUE(gActiveDownloads.empty());
  EXPECT_TRUE(gQueueChanged);
  EXPECT_EQ(mainList->dockTileMarks, 1);
  EXPECT_TRUE(PendingWhenDoneTimer());
}

TEST_F(DownloadEventsTest, FailureShowsTheMessageUnlessTheErrorLogIsChosenAndAlwaysNotifies) {
  fakes::ScopedFakeNotifier notifier;
  for (bool errorLog : {false, true}) {
    util::ChangeSettings([errorLog](util::Settings& s) { s.useErrorLog = errorLog; });
    messages.clear();
    WrapperRef w = Started("http://a.example/missing" + std::to_string(errorLog));
    w->element().batchID = "B1";
    auto failed = Make(kDownloadEventFinished, w->uid());
    failed->SetInt32(p::kReason, kFinishFailed);
    failed->SetValue(p::kErrorCode, EncodeStreamError({kHTTPErrorDomain, 404}));
    Send(failed);
    EXPECT_EQ(w->status(), kStatusFailed);
    EXPECT_EQ(messages.size(), errorLog ? 0u : 1u);
    ASSERT_FALSE(notifier->posted.empty());
    const desktop::Notice& n = notifier->posted.back();
    EXPECT_EQ(n.name, "Download failed");
    EXPECT_EQ(n.description, "http://a.example/missing" + std::to_string(errorLog) + ", error code 404");
    EXPECT_EQ(n.identifier, std::optional<std::string>("B1"));
    EXPECT_FALSE(n.clickContext);
  }
}

// A download that fails before its first byte leaves no empty "<name>.partial" folder in
// the download folder; one that had received bytes keeps them for a later resume.
TEST_F(DownloadEventsTest, AFailureBeforeTheFirstByteLeavesNoEmptyPackage) {
  struct Case {
    const char* name;
    std::string received;
    bool kept;
  } cases[] = {{"refused.zip", "", false}, {"cut.zip", "partial bytes", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WrapperRef w = Started(std::string("http://127.0.0.1:9/") + c.name);
    const std::optional<files::FileRef> package = CopyPartialPackageURL(w->element());
    ASSERT_TRUE(package.has_value());
    ASSERT_TRUE(std::filesystem::is_directory(package->Path()));
    if (!c.received.empty()) {
      const std::optional<files::FileRef> data = ResolveAliasField(w->element().fileAlias);
      ASSERT_TRUE(data.has_value());
      testsupport::WriteFile(data->Path(), c.received);
      w->element().progress = static_cast<std::int64_t>(c.received.size());
    }
    auto failed = Make(kDownloadEventFinished, w->uid());
    failed->SetInt32(p::kReason, kFinishFailed);
    failed->SetValue(p::kErrorCode, EncodeStreamError({1, 61}));
    Send(failed);
    EXPECT_EQ(w->status(), kStatusFailed);
    EXPECT_EQ(std::filesystem::exists(package->Path()), c.kept);
    EXPECT_EQ(w->element().failureReason, "Connection refused");
    // The download can be started again: a new package is made for it.
    if (!c.kept) {
      EXPECT_EQ(StartDownload(w), 0);
      EXPECT_TRUE(CopyPartialPackageURL(w->element()).has_value());
    }
  }
}

TEST(DownloadFailureMessageTest, TextByDomainAndCode) {
  // The English texts the program registers at start (the keys themselves are the other
  // system's texts); taken away again so the other tests read the keys.
  util::RegisterEnglishTexts();
  struct Unregister {
    ~Unregister() { values::ClearLocalizedStrings(); }
  } unregister;
  struct Case {
    StreamErrorParam error;
    std::optional<std::string> serverMessage;
    std::string expected;
  };
  const std::string u = "http://h/f";
  const std::vector<Case> cases = {
      {{kHTTPErrorDomain, 404},
       {},
       "The download of \rhttp://h/f\rfailed because an error of type 404 occurred: the file could not be "
       "found."},
      {{kHTTPErrorDomain, 403},
       {},
       "The download of \rhttp://h/f\rfailed because an error of type 403 occurred: access forbidden."},
      {{kHTTPErrorDomain, 407},
       {},
       "The download of \rhttp://h/f\rfailed because an error of type 401 occurred: a password is need to "
       "access "
       "this URL."},
      {{kHTTPErrorDomain, 503},
       {},
       "The download of \rhttp://h/f\rfailed because an error of type 503 occurred: service unavailable."},
      {{kFTPErrorDomain, 530},
       {},
       "The download of \rhttp://h/f\rfailed because an error of type 530 occurred: authentication failed"},
      {{kFTPErrorDomain, 553},
       {},
       "The download of \rhttp://h/f\rfailed because an error of type 553 occurred: permission denied."},
      {{kOwnErrorDomain, 1},
       {},
       "You appear to be over your RapidShare download limit for http://h/f. Try again later."},
      {{kNetDBErrorDomain, 8},
       {},
       "The download of \rhttp://h/f\rfailed because the server could not be found."},
      // Any other failure names its last reason in words, never as a bare number.
      {{kFTPErrorDomain, 500},
       {},
       "The download of \rhttp://h/f\r failed because no urls were valid. Last error: The FTP server did not "
       "accept a command (500)."},
      {{1, 61},
       {},
       "The download of \rhttp://h/f\r failed because no urls were valid. Last error: Connection refused."},
      {{1, 60},
       {},
       "The download of \rhttp://h/f\r failed because no urls were valid. Last error: Connection timed out."},
      {{kHTTPErrorDomain, 500},
       {},
       "The download of \rhttp://h/f\r failed because no urls were valid. Last error: The server answered "
       "500 "
       "Internal Server Error."},
      {{3, -9814},
       {},
       "The download of \rhttp://h/f\r failed because no urls were valid. Last error: The server's "
       "certificate has expired."},
      {{kOwnErrorDomain, 2},
       std::string("gone"),
       "The download of \rhttp://h/f\rfailed because no urls were valid. Last error: Error 2\nThe last "
       "message "
       "from the server was: gone."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DownloadFailureMessage(u, c.error, c.serverMessage), c.expected)
        << c.error.domain << "/" << c.error.code;
  }
}

TEST(AverageSpeedTest, FromSizeOrProgress) {
  EXPECT_DOUBLE_EQ(AverageSpeedKBps(10240, 5, 2.0), 5.0);
  EXPECT_DOUBLE_EQ(AverageSpeedKBps(0, 2048, 1.0), 2.0);   // size unknown
  EXPECT_DOUBLE_EQ(AverageSpeedKBps(-1, 2048, 1.0), 2.0);  // all ones
  EXPECT_DOUBLE_EQ(AverageSpeedKBps(4096, 4096, 0.0), 0.0);
}

TEST_F(DownloadEventsTest, WhenDoneDelayIsTheSettingButAtLeastFourSeconds) {
  struct Case {
    std::optional<int> setting;
    std::int64_t expected;
  };
  for (const Case& c : std::vector<Case>{{{}, 4}, {0, 4}, {-5, 4}, {3, 4}, {4, 4}, {30, 30}}) {
    util::SetPreferenceValue("inactivity timer duration",
                             c.setting ? values::Value(*c.setting) : values::Value());
    EXPECT_EQ(WhenDoneDelaySeconds(), c.expected) << (c.setting ? *c.setting : 999);
  }
}

TEST_F(DownloadEventsTest, ASecondFinishMovesThePendingCheckInsteadOfAddingOne) {
  ArmWhenDoneCheck(false);
  auto timer = PendingWhenDoneTimer();
  ASSERT_TRUE(timer);
  const auto first = timer->NextFireDate();
  util::SetPreferenceValue("inactivity timer duration", values::Value(60));
  ArmWhenDoneCheck(true);  // a stop also moves a pending check
  EXPECT_EQ(PendingWhenDoneTimer(), timer);
  EXPECT_GT(timer->NextFireDate(), first + std::chrono::seconds(50));
}

TEST_F(DownloadEventsTest, WhenDoneCheckRunsTheActionOnlyWhenNothingIsLeft) {
  fakes::ScopedFakeSystemActions system;
  util::SetPreferenceValue("take action when done", values::Value(true));
  util::SetPreferenceValue("post download action", values::Value(3));
  auto uploads = std::make_unique<FakeUploadHandoff>();
  FakeUploadHandoff* fakeUploads = uploads.get();
  upload::UploadHandoffServiceSlot::Set(std::move(uploads));
  fakeUploads->activeUploads = 1;

  ArmWhenDoneCheck(false);
  CheckPostDownloadAction();
  EXPECT_TRUE(system->performed.empty());
  EXPECT_FALSE(PendingWhenDoneTimer()) << "a check that finds work left is not re-armed";

  fakeUploads->activeUploads = 0;
  auto peers = std::make_unique<FakePeerHosts>();
  peers->runningUploadServers = 1;
  FakePeerHosts* fakePeers = peers.get();
  sharing::PeerHostsServiceSlot::Set(std::move(peers));
  CheckPostDownloadAction();
  EXPECT_TRUE(system->performed.empty()) << "a file still coming from a peer";
  fakePeers->runningUploadServers = 0;

  gQueueRunning = true;
  AddTo("http://a.example/waiting", dir);  // one still queued
  CheckPostDownloadAction();
  EXPECT_TRUE(system->performed.empty());

  gQueueRunning = false;
  CheckPostDownloadAction();
  EXPECT_EQ(system->performed, std::vector<desktop::SystemAction>{desktop::SystemAction::kShutDown});

  for (int action : {-1, 0, 6}) {
    util::SetPreferenceValue("post download action", values::Value(action));
    CheckPostDownloadAction();
  }
  util::SetPreferenceValue("post download action", values::Value(4));
  util::SetPreferenceValue("take action when done", values::Value(false));
  CheckPostDownloadAction();
  EXPECT_EQ(system->performed.size(), 1u);
  upload::UploadHandoffServiceSlot::Set(nullptr);
  sharing::PeerHostsServiceSlot::Set(nullptr);
}

// ---- Completion ----

class CompletionTest : public DownloadEventsTest {
 public:
  void SetUp() override {
    DownloadEventsTest::SetUp();
    engine::CreateGlobalLogWindow();
  }
  void TearDown() override {
    engine::CloseGlobalLog();
    DownloadEventsTest::TearDown();
  }
  static bool AttributesSupported(const std::string& path) {
    auto probe = files::SetStringAttribute(files::FileRef(path), "user.truvane.probe", "x");
    return probe.ok();
  }
  fakes::ScopedFakeNotifier notifier;
  fakes::ScopedFakeSoundPlayer sounds;
  fakes::ScopedFakeWorkspace workspace;
};

TEST_F(CompletionTest, TheEngineRoadEndsWithTheFileFiledLoggedCountedAndStamped) {
  const auto before = util::CurrentSettings();
  WrapperRef w = Started("http://user:pw@a.example/dir/report.pdf");
  w->element().batchID = "BATCH";
  PlayEngine(0, std::string(2048, 'x'));

  EXPECT_EQ(w->status(), kStatusCompleted);
  const std::string filed = dir + "/report.pdf";
  ASSERT_TRUE(std::filesystem::is_regular_file(filed));
  EXPECT_FALSE(std::filesystem::exists(dir + "/report.pdf.partial")) << "the emptied package is deleted";
  EXPECT_TRUE(w->element().finished);
  EXPECT_EQ(w->element().downloadCount, 1);
  EXPECT_FALSE(w->element().fileAlias);
  ASSERT_TRUE(w->element().completeURL);
  EXPECT_GT(w->endDate(), 0);

  ASSERT_NE(engine::CurrentGlobalLog(), nullptr);
  EXPECT_NE(engine::CurrentGlobalLog()->Text().find(
                "Download of http://user:<hidden>@a.example/dir/report.pdf complete"),
            std::string::npos)
      << engine::CurrentGlobalLog()->Text();

  EXPECT_EQ(util::CurrentSettings()->filesTransferred, before->filesTransferred + 1);
  EXPECT_EQ(util::CurrentSettings()->bytesTransferred, before->bytesTransferred + 2048);
  EXPECT_EQ(util::SettingsPreferences().GetInteger("Files transfered"), before->filesTransferred + 1);

  // The start was announced; completion tells "all finished" first; the download's own
  // notice follows it.
  ASSERT_EQ(notifier->posted.size(), 3u);
  EXPECT_EQ(notifier->posted[0].name, "Download is starting");
  EXPECT_EQ(notifier->posted[1].name, "All Downloads Finished");
  const desktop::Notice& done = notifier->posted.back();
  EXPECT_EQ(done.name, "Download is complete");
  EXPECT_EQ(done.clickContext, std::optional<std::string>(filed));
  EXPECT_EQ(done.identifier, std::optional<std::string>("BATCH"));
  EXPECT_EQ(done.description, "report.pdf, average speed 4.0k/s");
  EXPECT_TRUE(PendingWhenDoneTimer());

  if (!AttributesSupported(filed)) GTEST_SKIP() << "no user extended attributes here";
  EXPECT_EQ(files::GetStringAttribute(files::FileRef(filed), files::kCommentAttribute).value(),
            "http://a.example/dir/report.pdf");
  EXPECT_EQ(files::GetStringAttribute(files::FileRef(filed), files::kOriginURLAttribute).value(),
            "http://a.example/dir/report.pdf");
}

TEST_F(CompletionTest, ATakenNameGetsTheNextNumber) {
  testsupport::WriteFile(dir + "/a.tar.gz", "old");
  testsupport::WriteFile(dir + "/a.tar.1.gz", "old");
  WrapperRef w = Started("http://a.example/a.tar.gz");
  PlayEngine(0, "new");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/a.tar.2.gz"));
  EXPECT_EQ(w->element().completeURL->Path(), dir + "/a.tar.2.gz");
}

TEST_F(CompletionTest, RelativeLocationMakesMissingLevelsAndNeverClimbsOut) {
  WrapperRef w = Started("http://a.example/x.bin");
  w->setRelativeLocation("one/two");
  PlayEngine(0, "x");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/one/two/x.bin"));

  WrapperRef evil = Started("http://a.example/y.bin");
  evil->setRelativeLocation("../../escape/./z");
  PlayEngine(1, "y");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/escape/z/y.bin"));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir).parent_path() / "escape"));
}

TEST_F(CompletionTest, TheLaterServerDateBecomesTheFileDate) {
  WrapperRef w = Started("http://a.example/d.txt");
  values::Array entries = w->URLData();
  entries[0].Put("dateString", "Sun, 06 Nov 1994 08:49:37 GMT");
  entries.push_back(values::Value(values::Dictionary{{"url", "http://b.example/d.txt"},
                                                     {"dateString", "Tue, 15 Nov 1994 08:12:31 GMT"}}));
  w->setURLData(entries);
  PlayEngine(0, "d");
  struct stat st {};
  ASSERT_EQ(::stat((dir + "/d.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 784887151);
}

TEST_F(CompletionTest, RemoveWhenTwoLeavesTheLibraryButNotTheQueue) {
  util::SetPreferenceValue("remove when", values::Value(2));
  // Completion puts the download into today's history first (position 1), so leaving My
  // Downloads does not take it out of the queue.
  CompletionHooksSlot::Get().addToHistory = [](const WrapperRef& w) { w->element().historyPosition = 1; };
  WrapperRef w = Started("http://a.example/r.bin");
  ASSERT_TRUE(w->foldersContainedIn().contains(kMyDownloadsViewID));
  PlayEngine(0, "r");
  EXPECT_TRUE(LookUpDownloadWrapper(w->uid()));
  EXPECT_FALSE(w->foldersContainedIn().contains(kMyDownloadsViewID));
}

TEST_F(CompletionTest, SoundsByWhatIsLeft) {
  util::SetPreferenceValue("playsound1", values::Value(true));
  util::SetPreferenceValue("playsoundall", values::Value(true));
  util::SetPreferenceValue("download sound", values::Value("/s/download.oga"));
  util::SetPreferenceValue("queue sound", values::Value("/s/queue.oga"));
  struct Case {
    const char* name;
    bool otherActive;
    bool queueRunning;
    bool oneQueued;
    bool queueSoundStarts;
    std::vector<std::string> expected;
    bool allCompleteNotice;
  };
  const std::vector<Case> cases = {
      {"another download runs", true, true, false, true, {"/s/download.oga"}, false},
      {"queue running, one still queued", false, true, true, true, {"/s/download.oga"}, false},
      {"queue stopped", false, false, true, true, {"/s/queue.oga"}, true},
      {"queue ran empty", false, true, false, true, {"/s/queue.oga"}, true},
      {"queue sound fails", false, false, false, false, {"/s/queue.oga", "/s/download.oga"}, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    ClearQueueTables();
    gActiveDownloads.clear();
    sounds->played.clear();
    sounds->start = c.queueSoundStarts;
    notifier->posted.clear();
    WrapperRef w = AddTo("http://a.example/s" + std::to_string(n++), dir);
    RemoveFromQueueOrder(w->uid());
    w->setStatus(kStatusCompleted);
    if (c.oneQueued) AddTo("http://a.example/q" + std::to_string(n++), dir);
    if (c.otherActive) gActiveDownloads.push_back(777);
    gQueueRunning = c.queueRunning;
    const std::string data = testsupport::MakeTempDir() + "/s.partial";
    std::filesystem::create_directory(data);
    testsupport::WriteFile(data + "/s", "s");
    files::FileRef file(data + "/s");
    CompleteDownload(w, file);
    EXPECT_EQ(sounds->played, c.expected) << c.name;
    bool all = false;
    for (const auto& notice : notifier->posted) all |= notice.name == "All Downloads Finished";
    EXPECT_EQ(all, c.allCompleteNotice) << c.name;
  }
}

TEST_F(CompletionTest, AnUnreadableFileStopsCompletionAtOnce) {
  WrapperRef w = AddTo("http://a.example/gone", dir);
  files::FileRef missing(dir + "/no/such/file");
  CompleteDownload(w, missing);
  EXPECT_FALSE(w->element().finished);
  EXPECT_EQ(w->element().downloadCount, 0);
}

TEST_F(CompletionTest, AnFTPFolderListingIsMarkedCompletedButNotFiled) {
  WrapperRef w = Started("ftp://a.example/pub/");
  const std::string bytes = "listing";
  PlayEngine(0, bytes);
  EXPECT_EQ(w->status(), kStatusCompleted);
  EXPECT_EQ(w->element().downloadCount, 0);
  ASSERT_FALSE(notifier->posted.empty());
  EXPECT_EQ(notifier->posted.back().name, "Download is complete");
  EXPECT_EQ(notifier->posted.back().clickContext, std::optional<std::string>("/"));
}

}  // namespace
}  // namespace queue
