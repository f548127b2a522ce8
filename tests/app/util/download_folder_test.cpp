#include "app/util/settings/download_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/settings_store.h"
#include "platform/files/alias.h"
#include "platform/files/standard_folders.h"
#include "platform/prefs/preference_store.h"
#include "tests/fakes/folder_dialog_service_fake.h"
#include "tests/support/temp_home.h"

namespace fs = std::filesystem;

namespace {

using namespace util;
using namespace ui;

class DownloadFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_unique<prefs::PreferenceStore>(testsupport::MakeTempDir("prefs"));
    SetSettingsPreferences(store_.get());
    auto dialog = std::make_unique<FakeFolderDialogService>();
    dialog_ = dialog.get();
    FolderDialogServiceSlot::Set(std::move(dialog));
    DisposeDefaultFolderAlias();
    ResetSessionState();
    gSystemIs105OrLater = true;
  }
  void TearDown() override {
    SetSettingsPreferences(nullptr);
    FolderDialogServiceSlot::Set(nullptr);
    DisposeDefaultFolderAlias();
    gSystemIs105OrLater = true;
  }

  std::string DefaultFolder() {
    files::FileRef folder;
    EXPECT_TRUE(GetDefaultDownloadFolder(folder));
    return folder.Path();
  }
  std::optional<std::string> StoredAliasPath() {
    const std::optional<values::Bytes> bytes = store_->GetData("Default folder alias");
    if (!bytes) return std::nullopt;
    files::Result<files::AliasRecord> alias = files::AliasFromBytes(*bytes);
    if (!alias.ok()) return std::nullopt;
    return alias->path;
  }

  std::unique_ptr<prefs::PreferenceStore> store_;
  FakeFolderDialogService* dialog_ = nullptr;
};

TEST_F(DownloadFolderTest, FallbackOrder) {
  const std::string downloads = files::StandardFolderRef(files::StandardFolder::kDownloads).Path();
  const std::string fallback =
      files::StandardFolderRef(files::StandardFolder::kDocuments).Child("Truvane 5").Path();

  EXPECT_EQ(downloads, DefaultFolder());
  EXPECT_EQ(downloads, StoredAliasPath());

  DisposeDefaultFolderAlias();
  gSystemIs105OrLater = false;
  fs::remove_all(fallback);
  EXPECT_EQ(fallback, DefaultFolder());
  EXPECT_TRUE(fs::is_directory(fallback));  // made on first use
}

TEST_F(DownloadFolderTest, ARenamedFolderIsFoundAndItsAliasStoredAgain) {
  const std::string parent = testsupport::MakeTempDir("dl");
  fs::create_directory(parent + "/Incoming");
  ASSERT_TRUE(SetDefaultDownloadFolder(files::FileRef(parent + "/Incoming")));
  fs::rename(parent + "/Incoming", parent + "/Arrivals");

  EXPECT_EQ(parent + "/Arrivals", DefaultFolder());
  EXPECT_EQ(parent + "/Arrivals", StoredAliasPath());
}

TEST_F(DownloadFolderTest, ADeletedFolderFallsBackToItsLastPathThenToTheDefault) {
  const std::string parent = testsupport::MakeTempDir("dl");
  fs::create_directory(parent + "/Mine");
  ASSERT_TRUE(SetDefaultDownloadFolder(files::FileRef(parent + "/Mine")));
  store_->Set("last default folder", parent + "/Saved/Here");
  fs::remove_all(parent + "/Mine");

  EXPECT_EQ(parent + "/Saved/Here", DefaultFolder());
  EXPECT_TRUE(fs::is_directory(parent + "/Saved/Here"));  // made again, parents too
  EXPECT_EQ(parent + "/Saved/Here", StoredAliasPath());

  // A path where a file stands cannot be the folder: the system's folder is used.
  DisposeDefaultFolderAlias();
  testsupport::WriteFile(parent + "/plain", "x");
  store_->Set("last default folder", parent + "/plain");
  EXPECT_EQ(files::StandardFolderRef(files::StandardFolder::kDownloads).Path(), DefaultFolder());
}

TEST_F(DownloadFolderTest, ThePathTheWindowWritesIsReadToo) {
  const std::string parent = testsupport::MakeTempDir("dl");
  store_->Set("last default path", parent + "/FromWindow");
  EXPECT_EQ(parent + "/FromWindow", DefaultFolder());
}

TEST_F(DownloadFolderTest, AskingForAFolder) {
  const std::string chosen = testsupport::MakeTempDir("chosen");
  const std::string downloads = files::StandardFolderRef(files::StandardFolder::kDownloads).Path();
  struct Case {
    const char* what;
    int mode;
    std::optional<ChooseFolderAnswer> answer;
    bool cancelled;
    std::string folder;
    std::size_t dialogs;
  };
  const Case cases[] = {
      {"mode 1 never asks", 1, ChooseFolderAnswer{ChooseFolderAnswer::Kind::kCancelled, ""}, false, downloads,
       0},
      {"mode 2, chosen", 2, ChooseFolderAnswer{ChooseFolderAnswer::Kind::kChosen, chosen}, false, chosen, 1},
      {"mode 2, cancelled", 2, ChooseFolderAnswer{ChooseFolderAnswer::Kind::kCancelled, ""}, true, downloads,
       1},
      {"mode 2, no dialog", 2, std::nullopt, false, downloads, 1},
      {"mode 2, chosen folder gone", 2,
       ChooseFolderAnswer{ChooseFolderAnswer::Kind::kChosen, chosen + "/gone"}, false, downloads, 1},
  };
  for (const Case& c : cases) {
    SetPreferenceValue("downloadMode", c.mode);
    dialog_->answers.clear();
    dialog_->openedAt.clear();
    if (c.answer) dialog_->answers.push_back(*c.answer);
    files::FileRef folder;
    EXPECT_EQ(c.cancelled, ChooseDefaultDownloadFolder(folder)) << c.what;
    EXPECT_EQ(c.folder, folder.Path()) << c.what;
    ASSERT_EQ(c.dialogs, dialog_->openedAt.size()) << c.what;
    if (c.dialogs) {
      EXPECT_EQ(downloads, dialog_->openedAt[0]) << c.what;  // opens at the default folder
      EXPECT_EQ(values::FourCC("Alwa"), dialog_->stateKeys[0]);
    }
  }
}

TEST_F(DownloadFolderTest, OneQuestionPerSessionWithItsAnswerRemembered) {
  SetPreferenceValue("downloadMode", 2);
  dialog_->answers = {{ChooseFolderAnswer::Kind::kCancelled, ""},
                      {ChooseFolderAnswer::Kind::kChosen, testsupport::MakeTempDir("second")}};
  files::FileRef folder;
  EXPECT_TRUE(GetSessionDownloadFolder(folder));
  EXPECT_TRUE(GetSessionDownloadFolder(folder));  // the same session: not asked again
  EXPECT_EQ(1u, dialog_->openedAt.size());

  ResetSessionState();
  EXPECT_FALSE(GetSessionDownloadFolder(folder));
  EXPECT_EQ(dialog_->openedAt.size(), 2u);
  EXPECT_NE(std::string::npos, folder.Path().find("second"));
}

TEST_F(DownloadFolderTest, AppSupportFolderIsMadeOnFirstUse) {
  const std::string expected = files::StandardFolderRef(files::StandardFolder::kApplicationSupport).Path();
  fs::remove_all(expected);
  files::FileRef folder;
  EXPECT_EQ(files::noErr, GetAppSupportFolder(&folder));
  EXPECT_EQ(expected, folder.Path());
  EXPECT_TRUE(fs::is_directory(expected));
  EXPECT_EQ(files::noErr, GetAppSupportFolder(nullptr));
}

TEST_F(DownloadFolderTest, AliasIsSavedWithTheSettings) {
  const std::string parent = testsupport::MakeTempDir("dl");
  LoadDefaultFolderAlias(std::nullopt);
  EXPECT_FALSE(CopyDefaultFolderAliasBytes().has_value());
  ASSERT_TRUE(SetDefaultDownloadFolder(files::FileRef(parent)));
  const std::optional<values::Bytes> bytes = CopyDefaultFolderAliasBytes();
  ASSERT_TRUE(bytes.has_value());
  DisposeDefaultFolderAlias();
  LoadDefaultFolderAlias(values::Bytes{1, 2, 3});  // not an alias: no folder known
  EXPECT_FALSE(CopyDefaultFolderAliasBytes().has_value());
  LoadDefaultFolderAlias(*bytes);
  EXPECT_EQ(parent, DefaultFolder());
}

}  // namespace
