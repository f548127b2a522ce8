// Smart folders: membership kept by the change table, rows at the flush, day changes, the
// built-in folders, the queue file, the saved-search export and the search metadata.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/queue/events/completion.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/install/queue_pieces.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/smartfolders/date_notifier.h"
#include "app/queue/smartfolders/element_metadata.h"
#include "app/queue/smartfolders/metadata_query.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "platform/files/xattr.h"
#include "platform/values/date_time.h"
#include "tests/app/queue/queue_test_support.h"
#include "tests/fakes/fake_ui_services.h"

namespace queue {
namespace {

using P = TRSearchPredicate;

class SmartFolderTest : public testing_support::QueueTest {
 protected:
  void SetUp() override {
    QueueTest::SetUp();
    auto list = std::make_unique<FakeMainList>();
    list_ = list.get();
    ui::MainListServicesSlot::Set(std::move(list));
    clock_ = std::make_shared<values::ManualClock>(values::AssembleDate({2026, 3, 11, 12, 0, 0}));
    use_ = std::make_unique<values::ScopedClock>(clock_);
    TRDateNotifier::ResetSharedInstance();
    ClearSmartFolderChanges();
    ClearMetadataChanges();
    QueueHooksSlot::Get().noteElementChanged = NoteElementChanged;
  }
  void TearDown() override {
    ClearSmartFolderChanges();
    ClearMetadataChanges();
    ClearFolderTable();
    TRDateNotifier::ResetSharedInstance();
    use_.reset();
    QueueTest::TearDown();
  }

  WrapperRef Add(const std::string& name, std::int64_t size = 0, DownloadStatus status = kStatusOnHold) {
    auto w = DownloadQueueWrapper::Create();
    w->element().uid = next_++;
    w->element().filename = name;
    w->element().fileSize = size;
    w->element().status = status;
    w->element().urlData.push_back(values::Value(values::Dictionary{{"url", "http://h.example/" + name}}));
    QueueItemsSet(w->uid(), w);
    return w;
  }

  SmartFolderRef Folder(ViewID uid, PredicateRef rule) {
    return TRSmartFolder::addSmartFolderToListWithName("F" + std::to_string(uid), uid, std::move(rule));
  }

  FakeMainList* list_ = nullptr;
  std::shared_ptr<values::ManualClock> clock_;
  std::unique_ptr<values::ScopedClock> use_;
  DownloadUID next_ = 100;
};

TEST_F(SmartFolderTest, FirstItemsFillsTheCacheFromTheRule) {
  Add("a.zip");
  Add("b.txt");
  auto folder = Folder(0x40000A, P::ApplicationsPredicate());
  EXPECT_FALSE(folder->populated());
  EXPECT_EQ(folder->Items().size(), 1u);
  EXPECT_TRUE(folder->populated());
  EXPECT_EQ(folder->itemsCache().begin()->second->filename(), "a.zip");
}

TEST_F(SmartFolderTest, AStatusChangeRechecksOnlyRulesOnStatusAndWritesNoMetadata) {
  auto w = Add("big.iso", 10);
  auto running = Folder(0x40000A, P::RunningDownloadsPredicate());
  auto large = Folder(0x40000B, P::LargeFilesPredicate());
  running->Items();
  large->Items();
  // The size grows without being noted; only a re-check of the size rule would see it.
  w->element().fileSize = 200LL * 1048576;
  w->setStatus(kStatusDownloading);
  EXPECT_EQ(PendingMetadataChanges(), 0u);
  FlushSmartFolderChanges();
  EXPECT_EQ(running->itemsCache().count(w->uid()), 1u);
  EXPECT_EQ(large->itemsCache().count(w->uid()), 0u) << "the size rule was re-checked";
  EXPECT_EQ(PendingSmartFolderChanges(), 0u);
  // A change of the size itself is noted for both.
  w->setFileSize(300LL * 1048576);
  EXPECT_EQ(PendingMetadataChanges(), 1u);
  FlushSmartFolderChanges();
  EXPECT_EQ(large->itemsCache().count(w->uid()), 1u);
}

TEST_F(SmartFolderTest, RowsOfADisplayedFolderFollowMembershipAtTheFlush) {
  auto w = Add("x.bin", 0, kStatusQueued);
  Folder(0x40000A, P::RunningDownloadsPredicate());
  // Shown before anything asked for its members: showing it fills the cache, so the
  // flush below can tell an entering download from one already listed.
  DisplayViews({0x40000A});
  w->setStatus(kStatusDownloading);
  EXPECT_TRUE(list_->newRows.empty()) << "rows change only at the flush";
  FlushSmartFolderChanges();
  ASSERT_EQ(list_->newRows.size(), 1u);
  EXPECT_EQ(list_->newRows[0].first, w->uid());
  w->setStatus(kStatusStopped);
  FlushSmartFolderChanges();
  EXPECT_EQ(list_->removedDownloadRows, std::vector<std::uint32_t>{w->uid()});
  EXPECT_EQ(list_->statusRefreshes, 2);
}

// Every reader of a folder's downloads sees the members of a smart or date folder nobody
// asked before, and sees them follow a change once the change table is flushed.
TEST_F(SmartFolderTest, EveryReaderListsMembersOfAFreshFolder) {
  AddMissingBuiltInFolders();
  AddApplicationTypesFolder();
  Folder(0x40000A, P::WithStringOfTypes("txt", kOpTypeIn));
  auto zip = Add("tool.zip", 5, kStatusCompleted);
  zip->element().endDate = values::Now();
  auto txt = Add("notes.txt", 7, kStatusCompleted);
  txt->element().endDate = values::Now();
  const struct {
    ViewID view;
    DownloadUID member;
  } cases[] = {{kTodayFolderID, 0}, {0x400001, zip->uid()}, {0x40000A, txt->uid()}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.view);
    const auto rows = CopyViewItems(c.view);
    const std::size_t expected = c.member == 0 ? 2u : 1u;
    EXPECT_EQ(rows.size(), expected);
    EXPECT_EQ(GetFolderItemCount(c.view), expected);
    EXPECT_EQ(CopyElementsWithStatus(kStatusCompleted, c.view).size(), expected);
    if (c.member != 0) {
      EXPECT_EQ(rows.front().as<DownloadQueueWrapper>().uid(), c.member);
    }
  }
  // A download added later is noted with every bit and joins at the flush.
  auto later = Add("more.tgz", 1, kStatusCompleted);
  later->element().endDate = values::Now();
  NoteElementChanged(later, kChangedAll);
  FlushSmartFolderChanges();
  EXPECT_EQ(GetFolderItemCount(0x400001), 2u);
  EXPECT_EQ(GetFolderItemCount(kTodayFolderID), 3u);
  // A download that leaves the queue leaves the listing even before any flush.
  QueueItemsRemove(zip->uid());
  EXPECT_EQ(GetFolderItemCount(0x400001), 1u);
}

TEST_F(SmartFolderTest, FilterScopeInProgressOnMyDownloads) {
  auto w = Add("x.bin", 0, kStatusQueued);
  AddMissingBuiltInFolders();
  AddElementToListableFolder(kMyDownloadsViewID, w);
  DisplayViews({kMyDownloadsViewID});
  list_->filterScope = kScopeInProgress;
  w->setStatus(kStatusDownloading);
  FlushSmartFolderChanges();
  ASSERT_FALSE(list_->newRows.empty());
  EXPECT_EQ(list_->newRows.back().first, w->uid());
  w->setStatus(kStatusOnHold);
  FlushSmartFolderChanges();
  EXPECT_FALSE(list_->removedDownloadRows.empty());
  EXPECT_EQ(list_->removedDownloadRows.back(), w->uid());
}

TEST_F(SmartFolderTest, DateFolderDropsYesterdaysDownloadAtMidnight) {
  AddMissingBuiltInFolders();
  auto w = Add("today.txt", 0, kStatusCompleted);
  w->element().endDate = values::Now();
  auto today = LookUpSmartFolder(kTodayFolderID);
  ASSERT_TRUE(today);
  EXPECT_EQ(today->Items().count(w->uid()), 1u);
  auto yesterday = LookUpSmartFolder(201);
  EXPECT_EQ(yesterday->Items().count(w->uid()), 0u);
  clock_->Advance(86400);
  TRDateNotifier::sharedInstance().midnightReached();
  EXPECT_FALSE(today->populated());
  EXPECT_EQ(today->Items().count(w->uid()), 0u);
  EXPECT_EQ(yesterday->Items().count(w->uid()), 1u);
}

TEST_F(SmartFolderTest, BuiltInTypeFoldersAreAddedOnceInTableOrder) {
  AddBuiltInTypeSmartFolders();
  AddBuiltInTypeSmartFolders();
  std::vector<std::uint32_t> rows;
  for (const auto& [id, name] : list_->addedFolderRows) rows.push_back(id);
  EXPECT_EQ(rows, (std::vector<std::uint32_t>{0x400001, 0x400002, 0x400003, 0x400005, 0x400004, 0x400006}));
  EXPECT_EQ(list_->folderRowSorts, 2);
  auto pdf = LookUpSmartFolder(0x400005);
  ASSERT_TRUE(pdf);
  Add("Paper.PDF");
  Add("paper.pdf.part");
  EXPECT_EQ(pdf->Items().size(), 1u);
  EXPECT_EQ(pdf->options(), SmartFolderColumnOptions());
  EXPECT_EQ(pdf->flags(), kFolderFlagSmart);
}

TEST_F(SmartFolderTest, QueueFileKeepsRulesAndDropsUnreadableOnes) {
  AddMissingBuiltInFolders();
  Add("a.flac");
  Folder(0x40000A,
         P::WithPredicates(P::WithStringOfTypes("flac", kOpTypeIn), P::LargeFilesPredicate(), kOpOr));
  ASSERT_TRUE(SaveQueueFile().ok());
  // A folder whose stored rule is damaged.
  auto root = values::ReadPropertyListFile(QueueFilePath());
  ASSERT_TRUE(root.ok());
  values::Value edited = *root;
  values::Array folders = *edited.Find("Folders")->AsArray();
  values::Value broken = values::Value(values::Dictionary{{"UID", values::Number::Int64(0x40000B)},
                                                          {"Name", "Broken"},
                                                          {"Flags", values::Number::Int64(8)},
                                                          {"predicate", values::Data{{1, 2, 3}}}});
  folders.push_back(broken);
  edited.Put("Folders", folders);
  WriteQueueFile(edited);
  ClearFolderTable();
  ClearQueueTables();
  LoadQueueFile();
  auto back = LookUpSmartFolder(0x40000A);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->name(), "F4194314");
  EXPECT_EQ(back->Items().size(), 1u);
  EXPECT_FALSE(LookUpFolder(0x40000B)) << "an unreadable rule drops its folder";
  EXPECT_TRUE(LookUpSmartFolder(kTodayFolderID)) << "date folders get their built-in rules";
}

TEST_F(SmartFolderTest, SavedSearchExport) {
  fakes::ScopedFakeUi ui;
  const std::string dir = testsupport::MakeTempDir("savedsearch");
  auto folder = Folder(0x40000A, P::WithStringOfTypes("zip", kOpTypeIn));
  ASSERT_TRUE(folder->createFolderAtURL(dir + "/Zips.savedSearch"));
  auto plist = values::ReadPropertyListFile(dir + "/Zips.savedSearch");
  ASSERT_TRUE(plist.ok());
  std::string raw, version;
  plist->GetString("RawQuery", raw);
  plist->GetString("Version", version);
  EXPECT_EQ(raw, "com_orbenix_truvane_FromTR==1 && (com_orbenix_truvane_name==\"*.zip\"c)");
  EXPECT_EQ(version, "10.4");
  const values::Value* criteria = plist->Find("SearchCriteria");
  ASSERT_TRUE(criteria);
  EXPECT_EQ((*criteria->Find("FXScopeArrayOfPaths"))[0], values::Value("kMDQueryScopeComputer"));
  EXPECT_TRUE(folder->smartFolder().has_value());

  auto status = Folder(0x40000B, P::WithStatus(256, kOpEqual));
  EXPECT_FALSE(status->createFolderAtURL(dir + "/Done.savedSearch"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/Done.savedSearch"));
  ASSERT_EQ(ui->alerts.size(), 1u);
  EXPECT_EQ(ui->alerts[0].message, "The smart folder could not be created.");
  EXPECT_EQ(ui->alerts[0].explanation,
            "The smart folder rule contains no terms understandable by spotlight.");
  // A saved search whose file went away loses its alias.
  std::filesystem::remove(dir + "/Zips.savedSearch");
  folder->updateSmartFolder();
  EXPECT_FALSE(folder->smartFolder().has_value());
}

TEST_F(SmartFolderTest, MetadataAttributes) {
  auto w = Add("a.bin", 0);
  w->element().urlData = {values::Value(values::Dictionary{{"url", "http://one/a.bin"}}),
                          values::Value(values::Dictionary{{"url", "http://two/a.bin"}})};
  w->element().startDate = 1000;
  auto m = CopyElementMetadata(*w);
  EXPECT_EQ(m["kMDItemWhereFroms"],
            values::Value(values::Array{"http://one/a.bin", "http://two/a.bin", "Truvane"}));
  EXPECT_EQ(m.count("com_orbenix_truvane_DLSize"), 0u);
  EXPECT_EQ(m.count("com_orbenix_truvane_EndDate"), 0u);
  EXPECT_EQ(m["com_orbenix_truvane_url"], values::Value("http://one/a.bin"));
  EXPECT_EQ(m["com_orbenix_truvane_FromTR"], values::Value(values::Number::Int64(1)));
  w->element().urlData[0].Put("referer", "http://page/");
  w->element().fileSize = 7;
  w->element().endDate = 2000;
  m = CopyElementMetadata(*w);
  EXPECT_EQ(m["kMDItemWhereFroms"],
            values::Value(values::Array{"http://page/", "http://one/a.bin", "http://two/a.bin", "Truvane"}));
  EXPECT_EQ(m["com_orbenix_truvane_DLSize"], values::Value(values::Number::Int64(7)));
  EXPECT_EQ(m["com_orbenix_truvane_EndDate"], values::Value(values::Date{2000}));

  const std::string dir = testsupport::MakeTempDir("metadata");
  testsupport::WriteFile(dir + "/a.bin", "x");
  const files::FileRef file(dir + "/a.bin");
  if (files::SetStringAttribute(file, "user.probe", "1").IsUnsupported())
    GTEST_SKIP() << "no user attributes here";
  WriteElementMetadata(w, file);
  EXPECT_EQ(ReadMetadataXattr("com_orbenix_truvane_name", file), values::Value("a.bin"));
  EXPECT_EQ(ReadMetadataXattr("com_orbenix_truvane_DLSize", file), values::Value(values::Number::Int64(7)));
}

TEST_F(SmartFolderTest, InstalledPiecesNoteEveryChange) {
  QueueHooksSlot::Get() = QueueHooks{};
  const CompletionHooks completion = CompletionHooksSlot::Get();
  InstallQueuePieces();
  CompletionHooksSlot::Get() = completion;
  auto w = Add("a.bin");
  w->setFilename("b.bin");
  EXPECT_EQ(PendingSmartFolderChanges(), 1u);
  EXPECT_EQ(PendingMetadataChanges(), 1u);
}

// The exported query finds the downloaded files again through their attributes.
TEST_F(SmartFolderTest, SavedSearchFindsFilesByTheirMetadata) {
  fakes::ScopedFakeUi ui;
  const std::string dir = testsupport::MakeTempDir("search");
  const files::FileRef probe(dir + "/probe");
  testsupport::WriteFile(probe.Path(), "");
  if (files::SetStringAttribute(probe, "user.probe", "1").IsUnsupported())
    GTEST_SKIP() << "no user attributes here";
  const struct {
    const char* name;
    std::int64_t size;
    double endAge;  // days ago
  } files_[] = {{"Big Report.PDF", 200LL * 1048576, 0},
                {"small.pdf", 10, 3},
                {"song.mp3", 5LL * 1048576, 0},
                {"a*b.pdf", 1, 40}};
  for (const auto& f : files_) {
    testsupport::WriteFile(dir + "/" + f.name, "x");
    auto w = Add(f.name, f.size, kStatusCompleted);
    w->element().startDate = values::Now() - f.endAge * 86400 - 60;
    w->element().endDate = values::Now() - f.endAge * 86400;
    WriteElementMetadata(w, files::FileRef(dir + "/" + f.name));
  }
  testsupport::WriteFile(dir + "/foreign.pdf", "not ours");
  const struct {
    PredicateRef rule;
    std::vector<std::string> found;
  } cases[] = {
      {P::WithStringOfTypes("pdf", kOpTypeIn), {"Big Report.PDF", "a*b.pdf", "small.pdf"}},
      {P::WithPredicates(P::WithStringOfTypes("pdf", kOpTypeIn), P::LargeFilesPredicate(), kOpAnd),
       {"Big Report.PDF"}},
      {P::LastNPredicate(7), {"Big Report.PDF", "small.pdf", "song.mp3"}},
      {P::WithString("a*b", kOpBeginsWith, kTRPredicateClassFileName), {"a*b.pdf"}},
      {P::WithArrayString("report; song", kOpContainsAny, kTRPredicateClassFileName),
       {"Big Report.PDF", "song.mp3"}},
      {P::WithString("h.example", kOpContains, kTRPredicateClassFileURL),
       {"Big Report.PDF", "a*b.pdf", "small.pdf", "song.mp3"}},
      {P::WithSize(10, kOpEqual), {"small.pdf"}},
  };
  ViewID id = 0x40000A;
  for (const auto& c : cases) {
    auto folder = Folder(id++, c.rule);
    const std::string saved = dir + "/" + std::to_string(id) + ".savedSearch";
    ASSERT_TRUE(folder->createFolderAtURL(saved));
    auto found = RunSavedSearch(files::FileRef(saved), files::FileRef(dir));
    ASSERT_TRUE(found) << c.rule->spotlightQuery();
    std::vector<std::string> names;
    for (const auto& f : *found) names.push_back(f.Name());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.found) << c.rule->spotlightQuery();
  }
}

TEST(MetadataQuery, OnlyTheQueryLanguageIsAccepted) {
  for (const char* good : {"a==\"x\"c", "(a==1) || (b!=\"*\\**\"c)", "a>=$time.today(-3) && b<=5 "})
    EXPECT_TRUE(ParseMetadataQuery(good)) << good;
  for (const char* bad : {"", "a", "a==", "a==\"x", "(a==1", "a==1)", "a=1", "a==1 &&", "a==$time.today(x)"})
    EXPECT_FALSE(ParseMetadataQuery(bad)) << bad;
  EXPECT_FALSE(ParseMetadataQuery(std::string(100, '(') + "a==1" + std::string(100, ')')));
}

}  // namespace
}  // namespace queue
