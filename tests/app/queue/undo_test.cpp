#include <gtest/gtest.h>

#include <filesystem>

#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/download_files.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/queue/undo/undoable_action.h"
#include "platform/runtime/run_loop.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/fakes/scripted_confirmations.h"
#include "tests/fakes/undo_peer_services_fake.h"

namespace queue {
namespace {

using testing_support::DownloadTest;
namespace fs = std::filesystem;

class UndoTest : public DownloadTest {
 public:
  void SetUp() override {
    DownloadTest::SetUp();
    folder = testsupport::MakeTempDir();
  }
  void TearDown() override {
    TruvaneUndoRemoveAllActions();
    DownloadTest::TearDown();
  }
  // A started download (its partial package exists) put back in the queue.
  WrapperRef AddWithPackage(const std::string& name) {
    AddDownloadRequest r = Request({"http://a.example/" + name});
    r.destination = MakeAliasBytes(files::FileRef(folder));
    WrapperRef w = LookUpDownloadWrapper(AddDownload(r));
    EXPECT_EQ(StartDownload(w), 0);
    gActiveDownloads.clear();
    w->element().stopSource.reset();
    w->setStatus(kStatusOnHold);
    EnqueueElement(w);
    return w;
  }
  // What the queue looks like: the order, every record with its status and folders.
  static std::string Snapshot() {
    std::string s = "order:";
    for (DownloadUID uid : gQueueOrder) s += " " + std::to_string(uid);
    for (const auto& [uid, w] : gQueueItems) {
      s += "\n" + std::to_string(uid) + " status " + std::to_string(w->status()) + " pos " +
           std::to_string(w->element().queuePosition) + " in";
      for (ViewID f : w->foldersContainedIn()) s += " " + std::to_string(f);
    }
    for (const auto& [id, f] : gFolders) {
      s += "\nfolder " + std::to_string(id) + " " + f->name();
      // Smart and date folders are computed from their rules, not restored by undo.
      if (f->HasItems() && !(f->flags() & kFolderFlagSmart))
        s += " items " + std::to_string(GetFolderItemCount(id));
    }
    return s;
  }
  std::string folder;
};

TEST_F(UndoTest, OnePassIsOneStepAndRedoComesBack) {
  TruvaneUndoRemoveAllActions();
  const std::string before = Snapshot();
  for (int i = 0; i < 3; ++i) Add("http://a.example/" + std::to_string(i));
  TruvaneUndoSetActionName("Add Download");
  TruvaneUndo::Shared().EndGrouping();
  EXPECT_EQ(TruvaneUndo::Shared().UndoCount(), 1u);
  EXPECT_EQ(TruvaneUndoCopyUndoTitle(), "Undo Add Download");
  const std::string after = Snapshot();
  TruvaneUndoPerformUndo();
  EXPECT_EQ(Snapshot(), before);
  EXPECT_QUEUE_CONSISTENT();
  EXPECT_EQ(TruvaneUndoCopyRedoTitle(), "Redo Add Download");
  TruvaneUndoPerformRedo();
  EXPECT_EQ(Snapshot(), after);
  EXPECT_QUEUE_CONSISTENT();
  TruvaneUndoPerformUndo();
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(UndoTest, TheMainLoopClosesAGroupBeforeEachPass) {
  auto observer = InstallUndoGroupingObserver(*runtime::RunLoop::Current());
  auto loop = runtime::RunLoop::Current();
  Add("http://a.example/1");
  loop->Perform([] {});
  loop->RunFor(runtime::Nanoseconds(0));
  Add("http://a.example/2");
  loop->Perform([] {});
  loop->RunFor(runtime::Nanoseconds(0));
  EXPECT_EQ(TruvaneUndo::Shared().UndoCount(), 2u);
  runtime::RunLoop::Current()->RemoveObserver(observer);
}

TEST_F(UndoTest, DisabledRegistrationAndRemovalByTarget) {
  TruvaneUndoDisableRegistration();
  Add("http://a.example/quiet");
  TruvaneUndoEnableRegistration();
  EXPECT_FALSE(TruvaneUndoCanUndo());
  WrapperRef a = LookUpDownloadWrapper(Add("http://a.example/a"));
  TruvaneUndo::Shared().EndGrouping();
  WrapperRef b = LookUpDownloadWrapper(Add("http://a.example/b"));
  TruvaneUndo::Shared().EndGrouping();
  TruvaneUndoRemoveActionsForTarget(a.get());  // as when a download completes
  EXPECT_EQ(TruvaneUndo::Shared().UndoCount(), 1u);
  TruvaneUndoPerformUndo();
  EXPECT_FALSE(LookUpDownloadWrapper(b->uid()));
  EXPECT_TRUE(LookUpDownloadWrapper(a->uid()));
}

TEST_F(UndoTest, UndoingTheRemovalOfTheLastQueuedItemPutsItBackInTheQueue) {
  Add("http://a.example/1");
  WrapperRef last = LookUpDownloadWrapper(Add("http://a.example/2"));
  TruvaneUndoRemoveAllActions();
  RemoveDownloads({last->uid()}, {}, true, true);
  TruvaneUndoPerformUndo();
  EXPECT_EQ(last->status(), kStatusQueued);
  EXPECT_EQ(gQueueOrder.back(), last->uid());
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(UndoTest, ARemovalBeyondTheShortenedQueueComesBackOnHold) {
  Add("http://a.example/1");
  Add("http://a.example/2");
  WrapperRef third = LookUpDownloadWrapper(Add("http://a.example/3"));
  TruvaneUndoRemoveAllActions();
  RemoveDownloads({third->uid()}, {}, true, true);
  TruvaneUndo::Shared().EndGrouping();
  TruvaneUndoDisableRegistration();
  RemoveDownloads({gQueueOrder.front()}, {}, true, false);
  TruvaneUndoEnableRegistration();
  TruvaneUndoPerformUndo();
  EXPECT_EQ(third->status(), kStatusOnHold);
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(UndoTest, ATakenUIDGivesTheRestoredDownloadANewOne) {
  WrapperRef w = LookUpDownloadWrapper(Add("http://a.example/1"));
  const DownloadUID uid = w->uid();
  TruvaneUndoRemoveAllActions();
  RemoveDownloads({uid}, {}, true, true);
  AddDownloadRequest r = Request({"http://other.example/x"});
  r.uid = uid;
  TruvaneUndoDisableRegistration();
  ASSERT_EQ(AddDownload(r), uid);
  TruvaneUndoEnableRegistration();
  TruvaneUndoPerformUndo();
  EXPECT_NE(w->uid(), uid);
  EXPECT_EQ(LookUpDownloadWrapper(w->uid()), w);
  EXPECT_EQ(LookUpDownloadWrapper(uid)->url(), "http://other.example/x");
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(UndoTest, AGroupWithNothingQueuedLeavesNoStep) {
  WrapperRef w = LookUpDownloadWrapper(Add("http://a.example/1"));
  TruvaneUndoRemoveAllActions();
  PutElementOnHold(w);
  TruvaneUndoRemoveAllActions();
  {
    DownloadUndoGrouping group("Add %d Downloads from FTP server");
    group.addDownload(w);
  }
  EXPECT_FALSE(TruvaneUndoCanUndo());
  EnqueueElement(w);
  {
    DownloadUndoGrouping group("Add %d Downloads from FTP server");
    group.addDownload(w);
  }
  EXPECT_EQ(TruvaneUndoCopyUndoTitle(), "Undo Add 1 Downloads from FTP server");
}

// Each download action type: undo restores the queue as it was before, redo as it was after.
struct ActionCase {
  const char* name;
  std::function<void(UndoTest&, std::vector<WrapperRef>&)> act;
};

class ActionTable : public UndoTest, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(ActionTable, UndoAndRedoRestoreTheQueue) {
  std::vector<WrapperRef> w;
  for (int i = 0; i < 3; ++i) w.push_back(AddWithPackage("f" + std::to_string(i)));
  AddFolder(0x100001, "A");
  AddElementToFolder(w[1], 0x100001);
  TruvaneUndoRemoveAllActions();
  const std::string before = Snapshot();
  GetParam().act(*this, w);
  TruvaneUndo::Shared().EndGrouping();
  EXPECT_QUEUE_CONSISTENT();
  const std::string after = Snapshot();
  ASSERT_NE(before, after);
  ASSERT_TRUE(TruvaneUndoCanUndo());
  TruvaneUndoPerformUndo();
  EXPECT_EQ(Snapshot(), before);
  EXPECT_QUEUE_CONSISTENT();
  ASSERT_TRUE(TruvaneUndoCanRedo());
  TruvaneUndoPerformRedo();
  EXPECT_EQ(Snapshot(), after);
  EXPECT_QUEUE_CONSISTENT();
  // Every download still in the queue after the redo has its partial package back.
  for (const auto& x : w) {
    if (!LookUpDownloadWrapper(x->uid())) continue;
    EXPECT_TRUE(CopyPartialPackageURL(x->element())) << x->filename();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, ActionTable,
    ::testing::Values(
        ActionCase{"AddedToFolder", [](UndoTest&, auto& w) { AddElementToFolder(w[0], 0x100001); }},
        ActionCase{"RemovedFromQueue",
                   [](UndoTest&, auto& w) { RemoveDownloads({w[1]->uid()}, {}, true, true); }},
        ActionCase{"RemovedFromLibraryOnly",
                   [](UndoTest&, auto& w) { RemoveDownloadsFromFolder({w[1]->uid()}, 1, false, true); }},
        ActionCase{"Added", [](UndoTest& t, auto&) { t.Add("http://new.example/n"); }},
        ActionCase{"FolderRenamed", [](UndoTest&, auto&) { RenameFolder(0x100001, "B"); }},
        ActionCase{"FolderRemoved", [](UndoTest&, auto&) { RemoveFolder(0x100001, false); }},
        ActionCase{"FolderAdded", [](UndoTest&, auto&) { AddFolder(0x100002, "C"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UndoTest, StoppingAndStartingUndoEachOther) {
  WrapperRef w = AddWithPackage("s");
  ASSERT_EQ(StartDownload(w), 0);
  TruvaneUndoRemoveAllActions();
  auto stop = w->element().stopSource;
  StopDownload(w);
  EXPECT_TRUE(stop->IsSignalled());
  // The task reports the stop.
  w->setStatus(kStatusStopped);
  gActiveDownloads.clear();
  TruvaneUndoPerformUndo();  // starts it again
  EXPECT_EQ(w->status(), kStatusStarting);
  TruvaneUndoPerformRedo();  // stops it again
  EXPECT_TRUE(w->element().stopSource->IsSignalled());
}

TEST_F(UndoTest, RemovalToTheTrashAndBack) {
  fakes::ScopedConfirmations confirm;
  WrapperRef w = AddWithPackage("doc.bin");
  const std::string package = folder + "/doc.bin.partial";
  ASSERT_TRUE(fs::exists(package));
  DisplayViews({kMyDownloadsViewID});
  mainList->selection = {w};
  TruvaneUndoRemoveAllActions();
  confirm->answers = {ui::kConfirmationMoveToTrash};
  RemoveSelectedItems(true);
  EXPECT_EQ(confirm->asked, (std::vector<std::pair<int, bool>>{{kConfirmRemoveSelected, true}}));
  EXPECT_FALSE(LookUpDownloadWrapper(w->uid()));
  EXPECT_FALSE(fs::exists(package));
  EXPECT_EQ(TruvaneUndoCopyUndoTitle(), "Undo Remove Download");
  TruvaneUndoPerformUndo();
  EXPECT_TRUE(fs::exists(package + "/doc.bin"));
  EXPECT_EQ(LookUpDownloadWrapper(w->uid()), w);
  EXPECT_EQ(w->foldersContainedIn(), std::set<ViewID>{kMyDownloadsViewID});
  ASSERT_TRUE(CopyPartialPackageURL(w->element()));
  EXPECT_EQ(CopyPartialPackageURL(w->element())->Path(), package);
  EXPECT_QUEUE_CONSISTENT();
}

TEST_F(UndoTest, AFolderRemovedWithItsFilesComesBackWithThem) {
  WrapperRef w = AddWithPackage("in-folder.bin");
  const std::string package = folder + "/in-folder.bin.partial";
  AddFolder(0x100001, "A");
  AddElementToFolder(w, 0x100001);
  TruvaneUndoRemoveAllActions();
  RemoveFolder(0x100001, true);
  EXPECT_FALSE(fs::exists(package));
  EXPECT_FALSE(LookUpFolder(0x100001));
  TruvaneUndoPerformUndo();
  EXPECT_TRUE(fs::exists(package));
  ASSERT_TRUE(LookUpFolder(0x100001));
  EXPECT_EQ(w->foldersContainedIn(), (std::set<ViewID>{kMyDownloadsViewID, 0x100001}));
  EXPECT_EQ(mainList->addedFolderRows.back().first, 0x100001u);
}

TEST_F(UndoTest, RemovalWithoutUndoDeletesThePackage) {
  WrapperRef w = AddWithPackage("gone.bin");
  TruvaneUndoRemoveAllActions();
  RemoveDownloads({w->uid()}, {kMyDownloadsViewID}, false, false);
  EXPECT_FALSE(fs::exists(folder + "/gone.bin.partial"));
  EXPECT_FALSE(TruvaneUndoCanUndo());
}

TEST_F(UndoTest, ALibraryItemInTheHistoryOnlyLeavesTheLibrary) {
  WrapperRef w = AddWithPackage("h.bin");
  w->element().historyPosition = 3;
  RemoveDownloadsFromFolder({w->uid()}, kMyDownloadsViewID, false, true);
  EXPECT_TRUE(LookUpDownloadWrapper(w->uid()));
  EXPECT_EQ(w->status(), kStatusOnHold);
  RemoveDownloadsFromFolder({w->uid()}, kHistoryViewID, false, true);
  EXPECT_FALSE(LookUpDownloadWrapper(w->uid()));
  EXPECT_QUEUE_CONSISTENT();
}

// Types 9 to 14 against the uploads, favourites and received files of the fakes.
class PeerUndoTest : public UndoTest {
 public:
  void SetUp() override {
    UndoTest::SetUp();
    auto u = std::make_unique<fakes::FakeUploads>();
    uploads = u.get();
    upload::UploadQueueServiceSlot::Set(std::move(u));
    auto f = std::make_unique<fakes::FakeFavourites>();
    favourites = f.get();
    browser::FavouriteUndoServiceSlot::Set(std::move(f));
    auto r = std::make_unique<fakes::FakeReceivedFiles>();
    received = r.get();
    sharing::ReceivedFileServiceSlot::Set(std::move(r));
    TruvaneUndoRemoveAllActions();
  }
  void TearDown() override {
    TruvaneUndoRemoveAllActions();
    upload::UploadQueueServiceSlot::Set(nullptr);
    browser::FavouriteUndoServiceSlot::Set(nullptr);
    sharing::ReceivedFileServiceSlot::Set(nullptr);
    UndoTest::TearDown();
  }
  fakes::FakeUploads* uploads = nullptr;
  fakes::FakeFavourites* favourites = nullptr;
  fakes::FakeReceivedFiles* received = nullptr;
};

TEST_F(PeerUndoTest, ARemovedUploadWaitsAgainAtItsPlaceWithItsFile) {
  std::vector<std::shared_ptr<void>> u;
  for (int i = 0; i < 3; ++i) {
    const std::string name = "u" + std::to_string(i);
    testsupport::WriteFile(folder + "/" + name, "x");
    u.push_back(std::make_shared<fakes::FakeUpload>(fakes::FakeUpload{name, folder + "/" + name}));
    uploads->AddToQueue(u.back());
  }
  const std::string trash = testsupport::MakeTempDir();
  uploads->Remove(u[1], true, trash);
  fs::rename(folder + "/u1", trash + "/u1");
  TruvaneUndoPerformUndo();
  EXPECT_EQ(uploads->waiting, u);
  EXPECT_TRUE(fs::exists(folder + "/u1"));
}

TEST_F(PeerUndoTest, FavouritesAddedAndRemovedUndoEachOther) {
  auto fav = std::make_shared<fakes::FakeFavourite>(fakes::FakeFavourite{"srv", 42});
  favourites->table["srv"] = fav;
  DisplayViews({kMyServersViewID});
  RegisterUndoFavouriteAdded(fav);
  TruvaneUndoPerformUndo();
  EXPECT_TRUE(favourites->table.empty());
  TruvaneUndoPerformRedo();  // the removal taken back: stored again, reattached to its connection
  EXPECT_EQ(favourites->table.count("srv"), 1u);
  EXPECT_EQ(fakes::FakeFavourites::Of(fav).connection, 42u);
  EXPECT_EQ(favourites->rows, std::vector<std::string>{"srv"});
  TruvaneUndoPerformUndo();
  EXPECT_TRUE(favourites->table.empty());
}

TEST_F(PeerUndoTest, AReceivedFileComesBackToItsFolder) {
  testsupport::WriteFile(folder + "/got.txt", "x");
  auto file = std::make_shared<fakes::FakeReceivedFile>(fakes::FakeReceivedFile{folder + "/got.txt"});
  received->AddToList(file);
  received->RemoveFromList(file);
  const std::string trash = testsupport::MakeTempDir();
  fs::rename(folder + "/got.txt", trash + "/got.txt");
  fakes::FakeReceivedFiles::Of(file).path = trash + "/got.txt";
  TruvaneUndoPerformUndo();
  EXPECT_EQ(received->list.size(), 1u);
  EXPECT_TRUE(fs::exists(folder + "/got.txt"));
  EXPECT_TRUE(TruvaneUndoCanRedo());  // type 14
  TruvaneUndoPerformRedo();
  EXPECT_TRUE(received->list.empty());
  EXPECT_TRUE(TruvaneUndoCanUndo());  // type 13 again
}

}  // namespace
}  // namespace queue
