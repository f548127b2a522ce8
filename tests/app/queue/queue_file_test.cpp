#include "app/queue/record/queue_file.h"

#include <gtest/gtest.h>

#include <ostream>

#include <filesystem>

#include "app/queue/folders/folder_record.h"
#include "app/queue/record/queue_element_record.h"
#include "app/util/settings/setting_keys.h"
#include "tests/app/queue/queue_test_support.h"
#include "tests/fakes/fake_main_list.h"
#include "tests/support/fifo_in_place.h"

namespace queue {
namespace {

using testing_support::QueueTest;
using values::Number;
using values::Value;

constexpr std::int64_t kDownloading = kStatusDownloading;
constexpr std::int64_t kStarting = kStatusStarting;
constexpr std::int64_t kQueued = kStatusQueued;

struct Expect {
  Expect(DownloadUID u, DownloadStatus s, std::int32_t pos = -1, std::int32_t conn = -1,
         std::int32_t prio = -1, const char* name = nullptr)
      : uid(u), status(s), position(pos), connections(conn), priority(prio), filename(name) {}
  DownloadUID uid;
  DownloadStatus status;
  std::int32_t position;  // -1: not checked
  std::int32_t connections;
  std::int32_t priority;
  const char* filename;
};

struct LoadCase {
  LoadCase(const char* n, std::vector<Value> r, std::vector<Expect> e, std::vector<DownloadUID> o = {})
      : name(n), records(std::move(r)), expect(std::move(e)), order(std::move(o)) {}
  const char* name;
  std::vector<Value> records;
  std::vector<Expect> expect;
  std::vector<DownloadUID> order;
  friend void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }
};

Value Pos(std::int64_t uid, std::int64_t status, std::int32_t position) {
  return QueueTest::Record(uid, status, {{"queue position", Number::Int32(position)}});
}

class LoadFixupTest : public QueueTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadFixupTest, LoadsAsExpected) {
  const LoadCase& c = GetParam();
  WriteQueueFile(Root(values::Array(c.records.begin(), c.records.end())));
  ASSERT_TRUE(LoadQueueFile().ok());
  EXPECT_QUEUE_CONSISTENT();
  for (const Expect& x : c.expect) {
    SCOPED_TRACE(x.uid);
    WrapperRef w = LookUpDownloadWrapper(x.uid);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->status(), x.status);
    if (x.position >= 0) {
      EXPECT_EQ(w->element().queuePosition, x.position);
    }
    if (x.connections >= 0) {
      EXPECT_EQ(w->element().connections, x.connections);
    }
    if (x.priority >= 0) {
      EXPECT_EQ(w->element().priority, x.priority);
    }
    if (x.filename) {
      EXPECT_EQ(w->filename(), x.filename);
    }
  }
  if (!c.order.empty()) {
    EXPECT_EQ(gQueueOrder, c.order);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixups, LoadFixupTest,
    testing::Values(
        LoadCase{
            "RunningBecomesQueuedFirst", {QueueTest::Record(7, kDownloading)}, {{7, kStatusQueued, 1}}, {7}},
        LoadCase{"RunningGoAheadOfQueued",
                 {Pos(1, kQueued, 1), Pos(2, kQueued, 2), QueueTest::Record(3, kDownloading),
                  Pos(4, kQueued, 3), QueueTest::Record(5, kStarting)},
                 {{3, kStatusQueued, 1},
                  {5, kStatusQueued, 2},
                  {1, kStatusQueued, 3},
                  {2, kStatusQueued, 4},
                  {4, kStatusQueued, 5}},
                 {3, 5, 1, 2, 4}},
        LoadCase{"GapsInPositionsAreClosed",
                 {Pos(1, kQueued, 9), Pos(2, kQueued, 4)},
                 {{2, kStatusQueued, 1}, {1, kStatusQueued, 2}},
                 {2, 1}},
        LoadCase{"ScheduledWithoutTimeIsOnHold",
                 {QueueTest::Record(1, kStatusScheduled, {{"scheduleTime", 0.0}})},
                 {{1, kStatusOnHold}}},
        LoadCase{"ScheduledWithPastTimeStaysScheduled",
                 {QueueTest::Record(1, kStatusScheduled, {{"scheduleTime", 5.0}})},
                 {{1, kStatusScheduled}}},
        LoadCase{"ConnectionsClamped",
                 {QueueTest::Record(1, kStatusStopped, {{"Connections", Number::Int32(0)}}),
                  QueueTest::Record(2, kStatusStopped, {{"Connections", Number::Int32(99)}}),
                  QueueTest::Record(3, kStatusStopped)},
                 {{1, kStatusStopped, -1, 1}, {2, kStatusStopped, -1, 32}, {3, kStatusStopped, -1, 3}}},
        LoadCase{
            "PriorityOutOfRangeIsZero",
            {QueueTest::Record(1, kStatusStopped, {{"priority", Number::Int32(5)}}),
             QueueTest::Record(2, kStatusStopped, {{"priority", Number::Int32(-1)}}),
             QueueTest::Record(3, kStatusStopped, {{"priority", Number::Int32(2)}})},
            {{1, kStatusStopped, -1, -1, 0}, {2, kStatusStopped, -1, -1, 0}, {3, kStatusStopped, -1, -1, 2}}},
        LoadCase{"MissingStatusIsOnHold",
                 {Value(values::Dictionary{{"UID", Number::Int64(4)}, {"Filename", "x"}})},
                 {{4, kStatusOnHold}}},
        LoadCase{"MissingFilenameIsTemp1",
                 {Value(values::Dictionary{{"UID", Number::Int64(4)}, {"status", Number::Int64(64)}})},
                 {{4, kStatusStopped, -1, -1, -1, "temp1"}}},
        // A stored name is checked as a name from a server is: never a path elsewhere.
        LoadCase{"FilenameThatLeavesTheFolderIsCleaned",
                 {QueueTest::Record(1, kStatusStopped, {{"Filename", "../../../../elsewhere/escaped"}})},
                 {{1, kStatusStopped, -1, -1, -1, "elsewhereescaped"}}},
        LoadCase{"FilenameDotDotIsTemp1",
                 {QueueTest::Record(1, kStatusStopped, {{"Filename", ".."}})},
                 {{1, kStatusStopped, -1, -1, -1, "temp1"}}},
        LoadCase{"FilenameWithAControlCharacterIsCleaned",
                 {QueueTest::Record(1, kStatusStopped, {{"Filename", "a\tb.zip"}})},
                 {{1, kStatusStopped, -1, -1, -1, "ab.zip"}}},
        LoadCase{"OrdinaryFilenamesStayAsTheyAre",
                 {QueueTest::Record(1, kStatusStopped, {{"Filename", "100%25 done \xC3\xA9t\xC3\xA9.zip"}}),
                  QueueTest::Record(2, kStatusStopped, {{"Filename", ".hidden by the user"}})},
                 {{1, kStatusStopped, -1, -1, -1, "100%25 done \xC3\xA9t\xC3\xA9.zip"},
                  {2, kStatusStopped, -1, -1, -1, ".hidden by the user"}}},
        // A value of another type than its key's counts as missing.
        LoadCase{
            "ValuesOfAnotherTypeTakeTheDefaults",
            {QueueTest::Record(1, kStatusStopped,
                               {{"Connections", "4"}, {"priority", "2"}, {"Filename", Number::Int32(3)}}),
             Value(values::Dictionary{{"UID", Number::Int64(2)}, {"status", "64"}})},
            {{1, kStatusStopped, -1, 3, 0, "temp1"}, {2, kStatusOnHold}}},
        LoadCase{"UIDAboveThirtyTwoBitsIsCut",
                 {QueueTest::Record(0x100000005LL, kStatusStopped)},
                 {{5, kStatusStopped}}}),
    [](const testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST_F(QueueTest, RepeatedUIDsKeepTheFirstAndRenumberTheRest) {
  WriteQueueFile(Root({Pos(9, kQueued, 1), Pos(9, kQueued, 2), Record(9, kStatusStopped)}));
  ASSERT_TRUE(LoadQueueFile().ok());
  EXPECT_QUEUE_CONSISTENT();
  EXPECT_EQ(gQueueItems.size(), 3u);
  EXPECT_EQ(LookUpDownloadWrapper(9)->element().queuePosition, 1);
  EXPECT_EQ(gQueueOrder.size(), 2u);
  EXPECT_TRUE(gQueueChanged);
}

TEST_F(QueueTest, RecordWithoutUIDGetsOne) {
  WriteQueueFile(Root({Value(values::Dictionary{{"Filename", "x"}, {"status", Number::Int64(64)}})}));
  ASSERT_TRUE(LoadQueueFile().ok());
  ASSERT_EQ(gQueueItems.size(), 1u);
  EXPECT_NE(gQueueItems.begin()->first, 0u);
}

TEST_F(QueueTest, EmptyQueueHasTheBuiltInFolders) {
  ASSERT_TRUE(LoadQueueFile().ok());
  EXPECT_TRUE(gQueueItems.empty());
  std::vector<ViewID> ids;
  for (const auto& [id, folder] : gFolders) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<ViewID>{1, 2, 4, 7, 20, 21, 22, 23, 24, 25, 200, 201, 202, 203}));
  EXPECT_FALSE(gQueueChanged);
}

TEST_F(QueueTest, OlderFileIsReadAndMarksTheQueueChanged) {
  const std::string older =
      files::StandardFolderRef(files::StandardFolder::kPreferences).Child("Truvane 3 Queue.plist").Path();
  WriteQueueFile(Root({Record(3, kStatusStopped)}), older);
  ASSERT_TRUE(LoadQueueFile().ok());
  EXPECT_TRUE(LookUpDownloadWrapper(3));
  EXPECT_TRUE(gQueueChanged);
  std::filesystem::remove(older);
}

TEST_F(QueueTest, UnreadableFileIsMovedAsideNotOverwritten) {
  testsupport::WriteFile(QueueFilePath(), "this is not a property list");
  ASSERT_TRUE(LoadQueueFile().ok());
  EXPECT_TRUE(gQueueItems.empty());
  EXPECT_EQ(testsupport::ReadFile(QueueFilePath() + ".unreadable"), "this is not a property list");
  ASSERT_TRUE(SaveQueueFile().ok());
  EXPECT_EQ(testsupport::ReadFile(QueueFilePath() + ".unreadable"), "this is not a property list");
  std::filesystem::remove(QueueFilePath() + ".unreadable");
}

TEST_F(QueueTest, AFifoInTheQueueFilesPlaceIsSetAsideNotWaitedOn) {
  ASSERT_TRUE(testsupport::MakeFifo(QueueFilePath()));
  auto* list = new FakeMainList();
  ui::MainListServicesSlot::Set(std::unique_ptr<FakeMainList>(list));
  EXPECT_TRUE(testsupport::ReturnsWithoutWaiting(QueueFilePath(), [] { EXPECT_TRUE(LoadQueueFile().ok()); }));
  EXPECT_TRUE(list->Logged("The queue file \"" + QueueFilePath() + "\" is not a regular file."))
      << ::testing::PrintToString(list->log);
  EXPECT_TRUE(std::filesystem::is_fifo(QueueFilePath() + ".unreadable"));
  EXPECT_FALSE(QueueFileSaveBlocked());
  ASSERT_TRUE(SaveQueueFile().ok());
  EXPECT_TRUE(std::filesystem::is_regular_file(QueueFilePath()));
  std::filesystem::remove(QueueFilePath() + ".unreadable");
}

TEST_F(QueueTest, SaveAndLoadRoundTripEveryStoredField) {
  auto w = DownloadQueueWrapper::Create();
  DownloadQueueElement& e = w->element();
  e.uid = 0xDEADBEEF;
  e.filename = "a b.zip";
  e.urlData = {
      Value(values::Dictionary{{"url", "http://x.example/a%20b.zip"}, {"referer", "http://r.example/"}})};
  e.domains = {"x.example"};
  e.status = kStatusStopped;
  e.fileSize = 1LL << 40;
  e.progress = 12345;
  e.duration = 1.5;
  e.connections = 7;
  e.priority = 2;
  e.flags = 3;
  e.startDate = 1000.0;
  e.endDate = 2000.0;
  e.completion = "script.sh";
  e.completionType = 5;
  e.relativeLocation = "sub/dir";
  e.batchID = "BATCH";
  e.checksum = "md5;abc";
  e.verificationFailed = true;
  e.finished = true;
  e.useAuth = true;
  e.authUser = "user";
  e.authPassword = "secret";
  e.historyPosition = 4;
  e.downloadCount = 2;
  e.destination = values::Bytes{1, 2, 3};
  QueueItemsSet(e.uid, w);
  AddMissingBuiltInFolders();
  AddElementToListableFolder(kMyDownloadsViewID, w);
  AddFolder(0x100001, "Mine");
  AddElementToFolder(w, 0x100001);

  ASSERT_TRUE(SaveQueueFile().ok());
  EXPECT_FALSE(gQueueChanged);
  const DownloadQueueElement before = e;
  w.reset();
  ASSERT_TRUE(LoadQueueFile().ok());
  WrapperRef back = LookUpDownloadWrapper(0xDEADBEEF);
  ASSERT_TRUE(back);
  const DownloadQueueElement& b = back->element();
  EXPECT_EQ(b.filename, before.filename);
  EXPECT_EQ(b.urlData, before.urlData);
  EXPECT_EQ(b.domains, before.domains);
  EXPECT_EQ(b.status, before.status);
  EXPECT_EQ(b.fileSize, before.fileSize);
  EXPECT_EQ(b.progress, before.progress);
  EXPECT_EQ(b.duration, before.duration);
  EXPECT_EQ(b.connections, before.connections);
  EXPECT_EQ(b.priority, before.priority);
  EXPECT_EQ(b.flags, before.flags);
  EXPECT_EQ(b.startDate, before.startDate);
  EXPECT_EQ(b.endDate, before.endDate);
  EXPECT_EQ(b.completion, before.completion);
  EXPECT_EQ(b.completionType, before.completionType);
  EXPECT_EQ(b.relativeLocation, before.relativeLocation);
  EXPECT_EQ(b.batchID, before.batchID);
  EXPECT_EQ(b.checksum, before.checksum);
  EXPECT_EQ(b.verificationFailed, before.verificationFailed);
  EXPECT_EQ(b.finished, before.finished);
  EXPECT_EQ(b.useAuth, before.useAuth);
  EXPECT_EQ(b.authUser, before.authUser);
  EXPECT_EQ(b.authPassword, before.authPassword);
  EXPECT_EQ(b.historyPosition, before.historyPosition);
  EXPECT_EQ(b.downloadCount, before.downloadCount);
  EXPECT_EQ(b.destination, before.destination);
  EXPECT_EQ(b.foldersContainedIn, (std::set<ViewID>{1, 0x100001}));
  EXPECT_EQ(LookUpFolder(0x100001)->name(), "Mine");
  EXPECT_EQ(GetFolderItemCount(0x100001), 1u);
}

TEST_F(QueueTest, SavesLeaveNoNewContentsFileBehind) {
  ASSERT_TRUE(LoadQueueFile().ok());
  ASSERT_TRUE(SaveQueueFile().ok());
  ASSERT_TRUE(SaveQueueFile().ok());
  EXPECT_TRUE(std::filesystem::exists(QueueFilePath()));
  EXPECT_FALSE(std::filesystem::exists(QueueFilePath() + ".new"));
}

TEST_F(QueueTest, FailedSaveKeepsTheOldFileAndTheFlags) {
  WriteQueueFile(Root({Record(3, kStatusStopped)}));
  ASSERT_TRUE(LoadQueueFile().ok());
  const std::string old = testsupport::ReadFile(QueueFilePath());
  // A folder standing where the new-contents file goes makes the write fail.
  std::filesystem::create_directory(QueueFilePath() + ".new");
  MarkQueueDirty();
  EXPECT_FALSE(SaveQueueFile().ok());
  EXPECT_TRUE(gQueueChanged);
  EXPECT_EQ(testsupport::ReadFile(QueueFilePath()), old);
  std::filesystem::remove(QueueFilePath() + ".new");
}

// The file is written a record at a time, yet it is exactly the property list the whole
// writer makes of the same queue; and it reads back piece by piece as it was.
TEST_F(QueueTest, SavedPieceByPieceAsTheWholeWriterWritesIt) {
  std::vector<Value> records;
  for (std::int64_t uid = 1; uid <= 300; ++uid) {
    records.push_back(Record(uid, uid % 3 ? kStatusStopped : kStatusQueued,
                             {{"queue position", Number::Int32(static_cast<std::int32_t>(uid))},
                              {"Filename", "file <" + std::to_string(uid) + ">&.bin"},
                              {"Completion", "line\r\nnext & <" + std::to_string(uid) + ">"}}));
  }
  WriteQueueFile(Root(values::Array(records.begin(), records.end())));
  ASSERT_TRUE(LoadQueueFile().ok());
  ASSERT_EQ(gQueueItems.size(), 300u);
  EXPECT_EQ(LookUpDownloadWrapper(299)->element().filename, "file <299>&.bin");
  EXPECT_EQ(LookUpDownloadWrapper(299)->element().completion, "line\r\nnext & <299>");
  EXPECT_QUEUE_CONSISTENT();
  MarkQueueDirty();
  ASSERT_TRUE(SaveQueueFile().ok());
  const std::string saved = testsupport::ReadFile(QueueFilePath());
  auto root =
      values::ReadPropertyList(std::span(reinterpret_cast<const std::uint8_t*>(saved.data()), saved.size()));
  ASSERT_TRUE(root.ok()) << root.error();
  auto whole = values::WritePropertyList(*root, values::PlistFormat::kXml);
  ASSERT_TRUE(whole.ok());
  EXPECT_EQ(std::string(whole->begin(), whole->end()), saved);
  const values::Array* elements = nullptr;
  ASSERT_EQ(root->GetArray("Elements", elements), values::Lookup::kOk);
  EXPECT_EQ(elements->size(), 300u);
}

// A file cut short or damaged anywhere, even after many good records, loads nothing of
// itself: it is set aside whole, and the queue starts empty rather than half read.
TEST_F(QueueTest, DamagedFileIsSetAsideWholeWhereverTheDamage) {
  std::vector<Value> records;
  for (std::int64_t uid = 1; uid <= 50; ++uid) records.push_back(Record(uid, kStatusStopped));
  WriteQueueFile(Root(values::Array(records.begin(), records.end())));
  const std::string good = testsupport::ReadFile(QueueFilePath());
  const std::string damaged[] = {
      good.substr(0, good.size() / 2),
      good.substr(0, good.size() - 20),
      good.substr(0, good.rfind("<key>UID</key>")) + "<key>UID</key><integer>x</integer>" +
          good.substr(good.rfind("<key>UID</key>") + 14),
      good + "<plist/>",
  };
  for (const std::string& text : damaged) {
    SCOPED_TRACE(text.size());
    testsupport::WriteFile(QueueFilePath(), text);
    ASSERT_TRUE(LoadQueueFile().ok());
    EXPECT_TRUE(gQueueItems.empty());
    EXPECT_TRUE(gQueueOrder.empty());
    EXPECT_EQ(testsupport::ReadFile(QueueFilePath() + ".unreadable"), text);
    std::filesystem::remove(QueueFilePath() + ".unreadable");
  }
}

// Saves asked for while downloads run go to a worker; those asked for while one is being
// written make one more, and the file ends with the latest state either way.
TEST_F(QueueTest, SavesOnTheWorkerEndWithTheLatestState) {
  ASSERT_TRUE(LoadQueueFile().ok());
  for (DownloadUID uid = 1; uid <= 40; ++uid) {
    auto w = DownloadQueueWrapper::Create();
    w->element().uid = uid;
    w->element().filename = "f" + std::to_string(uid);
    w->element().status = kStatusStopped;
    QueueItemsSet(uid, w);
    MarkQueueDirty();
    SaveQueueFileSoon();
  }
  FinishQueueFileSaves();
  EXPECT_FALSE(gQueueChanged);
  EXPECT_FALSE(std::filesystem::exists(QueueFilePath() + ".new"));
  ClearQueueTables();
  ASSERT_TRUE(LoadQueueFile().ok());
  EXPECT_EQ(gQueueItems.size(), 40u);

  // A save on the worker that fails leaves the queue changed, for the next save to retry.
  std::filesystem::create_directory(QueueFilePath() + ".new");
  MarkQueueDirty();
  SaveQueueFileSoon();
  FinishQueueFileSaves();
  EXPECT_TRUE(gQueueChanged);
  std::filesystem::remove(QueueFilePath() + ".new");
  SaveQueueFileSoon();
  FinishQueueFileSaves();
  EXPECT_FALSE(gQueueChanged);
}

// A value that reached a record with a character XML cannot carry costs that value, never
// the queue: the save writes every record, the next start reads them all.
TEST_F(QueueTest, AControlCharacterInARecordNeverLosesTheQueue) {
  struct Case {
    const char* name;
    std::string bad;
  } cases[] = {
      {"Nul", std::string("sess=ab\0cd", 10)},
      {"ControlA",
       "sess=ab\x01"
       "cd"},
      {"NotUtf8", "a%\xc2 b\xef.bin"},
      {"NonCharacter", "x\xEF\xBF\xBF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    ASSERT_TRUE(LoadQueueFile().ok());  // a new run: nothing reported yet
    auto* list = new FakeMainList();
    ui::MainListServicesSlot::Set(std::unique_ptr<FakeMainList>(list));
    for (DownloadUID uid = 1; uid <= 28; ++uid) {
      auto w = DownloadQueueWrapper::Create();
      w->element().uid = uid;
      w->element().filename = "f" + std::to_string(uid);
      w->element().status = kStatusStopped;
      w->element().urlData = {Value(values::Dictionary{{"url", "http://x.example/" + std::to_string(uid)}})};
      QueueItemsSet(uid, w);
    }
    // One record with the bad value in a cookie, one with it as its name.
    LookUpDownloadWrapper(7)->element().urlData[0].Put("cookie", Value(values::Dictionary{{"sess", c.bad}}));
    LookUpDownloadWrapper(9)->element().filename = c.bad;
    AddMissingBuiltInFolders();

    ASSERT_TRUE(SaveQueueFile().ok());
    ASSERT_TRUE(SaveQueueFile().ok());
    // Said once in the transfer log for each value left out, naming where it was.
    std::vector<std::string> said;
    for (const auto& [error, text] : list->log) {
      if (text.find("without its value") != std::string::npos) said.push_back(text);
    }
    ASSERT_EQ(said.size(), 2u) << ::testing::PrintToString(list->log);
    EXPECT_NE(said[0].find("url data/0/cookie/sess"), std::string::npos) << said[0];
    EXPECT_NE(said[1].find("\"Filename\""), std::string::npos) << said[1];
    // Any XML reader takes the file, not only ours.
    const std::string written = testsupport::ReadFile(QueueFilePath());
    EXPECT_EQ(written.find('\0'), std::string::npos);
    EXPECT_EQ(written.find('\x01'), std::string::npos);

    ASSERT_TRUE(LoadQueueFile().ok());
    EXPECT_EQ(gQueueItems.size(), 28u);
    EXPECT_FALSE(std::filesystem::exists(QueueFilePath() + ".unreadable"));
    const values::Value& entry = LookUpDownloadWrapper(7)->element().urlData[0];
    EXPECT_FALSE(entry.Find("cookie") && entry.Find("cookie")->Find("sess"));
    EXPECT_EQ(LookUpDownloadWrapper(9)->element().filename, "temp1");
    EXPECT_EQ(LookUpDownloadWrapper(8)->element().filename, "f8");
  }
}

struct CredentialCase {
  const char* name;
  bool encrypt;
  const char* user;
  const char* password;
  std::vector<const char*> keys;
  std::vector<const char*> absent;
  friend void PrintTo(const CredentialCase& c, std::ostream* os) { *os << c.name; }
};

class CredentialRecordTest : public QueueTest, public testing::WithParamInterface<CredentialCase> {};

TEST_P(CredentialRecordTest, WritesTheKeysAndReadsThemBack) {
  const CredentialCase& c = GetParam();
  util::WriteSetting(util::kEncryptQueueKey, c.encrypt);
  // A reversible stand-in for the cipher.
  QueueHooksSlot::Get().encipherCredential = [](const std::string& s) {
    values::Bytes b(s.rbegin(), s.rend());
    return std::optional<values::Bytes>(b);
  };
  QueueHooksSlot::Get().decipherCredential = [](const values::Bytes& b) {
    return std::optional<std::string>(std::string(b.rbegin(), b.rend()));
  };
  DownloadQueueElement e;
  e.uid = 1;
  e.useAuth = true;
  e.authUser = c.user;
  e.authPassword = c.password;
  const Value d = DownloadQueueElementCopyDictionary(e);
  for (const char* key : c.keys) EXPECT_NE(d.Find(key), nullptr) << key;
  for (const char* key : c.absent) EXPECT_EQ(d.Find(key), nullptr) << key;
  RecordLoadState state;
  WrapperRef back = DownloadQueueElementCreateFromDictionary(d, state);
  EXPECT_EQ(back->element().authUser, c.user);
  EXPECT_EQ(back->element().authPassword, c.password);
  EXPECT_FALSE(state.cipherFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Credentials, CredentialRecordTest,
    testing::Values(
        CredentialCase{"Plain", false, "u", "p", {"authUser", "authPassword"}, {"EauthUser"}},
        CredentialCase{"Enciphered", true, "u", "p", {"EauthUser", "EauthPassword"}, {"authUser"}},
        CredentialCase{
            "EmptyPasswordWritesNoKey", true, "u", "", {"EauthUser"}, {"EauthPassword", "authPassword"}}),
    [](const testing::TestParamInfo<CredentialCase>& info) { return info.param.name; });

// Enciphered credentials asked for, but no cipher installed: nothing is written, the
// records in memory keep the credentials, and the log says so once however many records
// hold some.
TEST_F(QueueTest, WithoutACipherCredentialsStayInMemoryAndTheLogSaysSoOnce) {
  auto list = std::make_unique<FakeMainList>();
  FakeMainList* log = list.get();
  ui::MainListServicesSlot::Set(std::move(list));
  util::WriteSetting(util::kEncryptQueueKey, true);
  QueueHooksSlot::Get().encipherCredential = nullptr;
  gCredentialsNotSavedLogged = false;
  for (std::uint32_t uid : {1u, 2u}) {
    DownloadQueueElement e;
    e.uid = uid;
    e.useAuth = true;
    e.authUser = "user";
    e.authPassword = "pass-" + std::to_string(uid);
    const Value d = DownloadQueueElementCopyDictionary(e);
    for (const char* key : {"authUser", "authPassword", "EauthUser", "EauthPassword"})
      EXPECT_EQ(d.Find(key), nullptr) << key;
    EXPECT_EQ(e.authPassword, "pass-" + std::to_string(uid));
  }
  ASSERT_EQ(log->log.size(), 1u);
  EXPECT_EQ(log->log[0].second, kCredentialsNotSavedMessage);
  ui::MainListServicesSlot::Set(nullptr);
}

TEST_F(QueueTest, CipherFailureStopsCredentialReadingAndIsToldOnce) {
  std::vector<std::string> shown;
  QueueHooksSlot::Get().showMessage = [&](const std::string& t) { shown.push_back(t); };
  values::Bytes secret{1, 2};
  WriteQueueFile(Root({Record(1, kStatusStopped, {{"EauthUser", values::Data{secret}}, {"useAuth", true}}),
                       Record(2, kStatusStopped, {{"authUser", "plain"}, {"useAuth", true}})}));
  ASSERT_TRUE(LoadQueueFile().ok());
  EXPECT_EQ(LookUpDownloadWrapper(1)->element().authUser, "");
  EXPECT_FALSE(LookUpDownloadWrapper(1)->element().useAuth);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("could not be decrypted"), std::string::npos);
}

}  // namespace
}  // namespace queue
