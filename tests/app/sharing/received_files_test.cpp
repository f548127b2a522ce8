// The list of received files: removal refused while a file arrives and undoable otherwise,
// the stored form across a restart, adoption of unlisted files, and the list following
// the file server's events.
#include "app/sharing/received/received_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/sharing/fileserver/file_server_events.h"
#include "app/util/settings/download_folder.h"
#include "app/util/settings/settings_store.h"
#include "platform/files/alias.h"
#include "tests/support/temp_home.h"

namespace {

namespace fs = std::filesystem;
using namespace sharing;

class ReceivedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearReceivedFilesForTests();
    folder_ = fs::path(testsupport::MakeTempDir("received")) / "Received Files";
    fs::create_directories(folder_ / "bob");
    auto alias = files::MakeAlias(files::FileRef(folder_.string()));
    ASSERT_TRUE(alias.ok());
    runtime::RegionGuard inside(util::IncomingFolderRegion());
    util::IncomingFolderAlias() = files::AliasToBytes(*alias);
    ReceivedFileHooksSlot::Get().registerUndoRemoved = [this](const ReceivedFileRef& f) {
      undone_.push_back(f);
    };
  }
  void TearDown() override {
    ClearReceivedFilesForTests();
    ReceivedFileHooksSlot::Reset();
    runtime::RegionGuard inside(util::IncomingFolderRegion());
    util::IncomingFolderAlias().reset();
  }
  fs::path folder_;
  std::vector<ReceivedFileRef> undone_;
};

runtime::EventRef ServerEvent(std::uint32_t kind, const std::string& uid) {
  auto e = runtime::Event::Create(kFileServerEventClass, kind);
  e->SetString(values::FourCC("UID "), uid);
  return e;
}

TEST_F(ReceivedFilesTest, FollowsTheServerAndRefusesRemovalWhileArriving) {
  const std::string uid = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
  auto cancel = std::make_shared<TransferCancelSource>();
  auto started = ServerEvent(kFileServerReceptionStarted, uid);
  started->SetFileRef(values::FourCC("File"), (folder_ / "bob" / (uid + ".partial") / "data").string());
  started->SetObject(values::FourCC("Canc"), cancel);
  started->SetString(values::FourCC("Fnam"), "notes.txt");
  started->SetString(values::FourCC("Unam"), "bob");
  started->SetString(values::FourCC("IP__"), "127.0.0.1");
  started->SetInt64(values::FourCC("DSiz"), 10);
  started->SetInt64(values::FourCC("Size"), 10);
  HandleFileServerEvent(*started);
  auto file = ReceivedFileFindByUUID(uid);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->status(), kReceivedFileReceiving);
  EXPECT_EQ(file->userAtHost(), "bob@127.0.0.1");

  auto progress = ServerEvent(kFileServerReceptionProgress, uid);
  progress->SetInt64(values::FourCC("Tot_"), 4);
  HandleFileServerEvent(*progress);
  EXPECT_EQ(file->bytesTransferred(), 4);

  // Not while it arrives; the stop reaches the connection's cancel source.
  EXPECT_FALSE(ReceivedFileRemove(file));
  EXPECT_EQ(ReceivedFilesCount(), 1u);
  ReceivedFilesCancelAll();
  EXPECT_TRUE(cancel->signalled());

  // An archive written now loads the entry as incomplete: no transfer survives a restart.
  const values::Value stored = ArchiveReceivedFiles();
  ClearReceivedFilesForTests();
  UnarchiveReceivedFiles(stored);
  ASSERT_TRUE(ReceivedFileFindByUUID(uid));
  EXPECT_EQ(ReceivedFileFindByUUID(uid)->status(), kReceivedFileIncomplete);

  testsupport::WriteFile((folder_ / "bob" / "notes.txt").string(), "0123456789");
  auto ended = ServerEvent(kFileServerReceptionEnded, uid);
  ended->SetFileRef(values::FourCC("File"), (folder_ / "bob" / "notes.txt").string());
  ended->SetString(values::FourCC("Name"), "notes.txt");
  ended->SetString(values::FourCC("IP  "), "127.0.0.1");
  HandleFileServerEvent(*ended);
  file = ReceivedFileFindByUUID(uid);
  EXPECT_EQ(file->status(), kReceivedFileReceived);
  EXPECT_EQ(*file->UpdatePath(), (folder_ / "bob" / "notes.txt").string());

  // Removed, with its undo registered; put back by the undo.
  EXPECT_TRUE(ReceivedFileRemove(file));
  EXPECT_EQ(ReceivedFilesCount(), 0u);
  ASSERT_EQ(undone_.size(), 1u);
  ReceivedFileAddToList(undone_.front());
  EXPECT_EQ(ReceivedFileFindByUUID(uid), file);
}

TEST_F(ReceivedFilesTest, AdoptsUnlistedFilesOnceAndNeverPackagesOrHiddenOnes) {
  testsupport::WriteFile((folder_ / "loose.bin").string(), "a");
  testsupport::WriteFile((folder_ / "bob" / "same.bin").string(), "b");
  fs::create_directories(folder_ / "Guest");
  testsupport::WriteFile((folder_ / "Guest" / "same.bin").string(), "c");
  fs::create_directories(folder_ / "bob" / "X.partial");
  testsupport::WriteFile((folder_ / "bob" / "X.partial" / "data").string(), "partial");
  fs::create_directories(folder_ / ".hidden");
  testsupport::WriteFile((folder_ / ".hidden" / "h.bin").string(), "h");
  testsupport::WriteFile((folder_ / ".dot").string(), "d");

  AdoptUnlistedReceivedFiles();
  EXPECT_EQ(ReceivedFilesCount(), 3u);
  for (const auto& f : ReceivedFilesCopyArray()) {
    EXPECT_EQ(f->userAtHost(), "Guest@localhost");
    EXPECT_EQ(f->status(), kReceivedFileReceived);
  }
  AdoptUnlistedReceivedFiles();
  EXPECT_EQ(ReceivedFilesCount(), 3u);
}

// Without a folder alias the received files go to the folder the person last chose, made
// when missing; when it cannot be had, to "Received Files" under the download folder. Either
// way the alias of the folder taken is kept.
TEST_F(ReceivedFilesTest, LostAliasFallsBackToTheLastChosenFolderThenTheDefault) {
  const fs::path base = testsupport::MakeTempDir("chosen");
  testsupport::WriteFile((base / "a file").string(), "x");
  files::FileRef downloads;
  ASSERT_TRUE(util::GetDefaultDownloadFolder(downloads));
  const fs::path fallback = fs::path(downloads.Path()) / "Received Files";
  const struct {
    std::string last;
    fs::path expected;
  } cases[] = {
      {(base / "mine" / "incoming").string(), base / "mine" / "incoming"},  // made with its parents
      {(base / "mine" / "incoming").string(), base / "mine" / "incoming"},  // there already
      {"", fallback},
      {(base / "a file" / "below").string(), fallback},  // cannot be made
      {"relative/folder", fallback},
  };
  for (const auto& c : cases) {
    {
      runtime::RegionGuard inside(util::IncomingFolderRegion());
      util::IncomingFolderAlias().reset();
    }
    util::ChangeSettings([&](util::Settings& s) { s.lastUploadFolderPath = c.last; });
    EXPECT_FALSE(GetReceivedFilesFolder(false)) << c.last;
    const auto folder = GetReceivedFilesFolder(true);
    ASSERT_TRUE(folder) << c.last;
    EXPECT_EQ(*folder, c.expected) << c.last;
    EXPECT_TRUE(fs::is_directory(c.expected)) << c.last;
    // Found again through its alias, as the next start finds it.
    EXPECT_EQ(GetReceivedFilesFolder(false), c.expected) << c.last;
  }
  util::ChangeSettings([](util::Settings& s) { s.lastUploadFolderPath.clear(); });
}

}  // namespace
