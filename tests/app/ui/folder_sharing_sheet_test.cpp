// The folder-sharing sheet offscreen: its rows follow the sharing users, ticking download
// ticks view, unticking view unticks download, OK is enabled only while a row has a check,
// and OK writes the users' lists (ascending) into "Users" and marks the folder shared, or
// takes the folder away from a user.
#include "app/ui/sharing_windows/folder_sharing_sheet.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/queue/folders/folder_table.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_users.h"
#include "platform/prefs/preference_store.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/controls/control.h"
#include "tests/support/temp_home.h"

namespace ui {
namespace {

using toolbox::kApplicationSignature;

constexpr std::uint32_t kWork = 0x100001;

class FolderSharingSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::SetSettingsPreferences(&store_);
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    queue::AddFolder(kWork, "Work");
    runtime::RegionGuard inside(util::SharingUsersRegion());
    util::SharingUsers().clear();
    util::SharingUsers()["Guest"].viewUIDs = {};
    util::SharingUsers()["anna"].viewUIDs = {0x100003, 0x100002};
    util::SharingUsers()["bob"].viewUIDs = {kWork};
    util::SharingUsers()["bob"].downloadUIDs = {kWork};
  }
  void TearDown() override {
    queue::ClearFolderTable();
    util::SetSettingsPreferences(nullptr);
    runtime::RegionGuard inside(util::SharingUsersRegion());
    util::SharingUsers().clear();
  }
  static std::vector<std::int64_t> Stored(const values::Value& users, const char* user, const char* list) {
    std::vector<std::int64_t> out;
    const values::Value* u = users.Find(user);
    const values::Value* l = u ? u->Find(list) : nullptr;
    if (l && l->AsArray())
      for (const auto& v : *l->AsArray()) out.push_back(v.AsNumber() ? v.AsNumber()->AsInt64() : -1);
    return out;
  }
  bool OKEnabled(toolbox::Window& w) { return w.DefaultButton() && w.DefaultButton()->IsEnabled(); }
  prefs::PreferenceStore store_{testsupport::MakeTempDir("prefs")};
};

TEST_F(FolderSharingSheetTest, ChecksFollowEachOtherAndOKNeedsOne) {
  toolbox::Window* sheet = OpenSharingUserItemsSheet(kWork, "Work");
  ASSERT_TRUE(sheet);
  toolbox::ListView* list = FolderSharingList(sheet);
  ASSERT_TRUE(list);
  EXPECT_EQ(sheet->FindControl(kApplicationSignature, kFolderSharingTitleID)->Text(),
            "Users who can see and download from \"Work\":");
  // Rows by user name: Guest, anna, bob.
  const auto cell = [&](toolbox::ListItemID row, values::FourCharCode column) {
    return list->CellText(row, column);
  };
  EXPECT_EQ(cell(3, kFolderSharingViewColumn), "1");
  EXPECT_EQ(cell(3, kFolderSharingDownloadColumn), "1");
  EXPECT_TRUE(OKEnabled(*sheet));
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR"))
    sheet->GrabToPng(std::string(keep) + "/folder_sharing_sheet.png");

  list->ClickCheckBox(2, kFolderSharingDownloadColumn);  // anna: download ticks view
  EXPECT_EQ(cell(2, kFolderSharingViewColumn), "1");
  EXPECT_EQ(cell(2, kFolderSharingDownloadColumn), "1");
  list->ClickCheckBox(3, kFolderSharingViewColumn);  // bob: unticking view unticks download
  EXPECT_EQ(cell(3, kFolderSharingViewColumn), "0");
  EXPECT_EQ(cell(3, kFolderSharingDownloadColumn), "0");
  sheet->ProcessCommand(kFolderSharingSelectNone);
  EXPECT_FALSE(OKEnabled(*sheet));
  sheet->ProcessCommand(kFolderSharingSelectAll);
  EXPECT_TRUE(OKEnabled(*sheet));
  for (toolbox::ListItemID row : {1, 2, 3}) {
    EXPECT_EQ(cell(row, kFolderSharingViewColumn), "1");
    EXPECT_EQ(cell(row, kFolderSharingDownloadColumn), "1");
  }
  sheet->ProcessCommand(toolbox::kCommandCancel);
  EXPECT_TRUE(sheet->IsReleased());
  runtime::RegionGuard inside(util::SharingUsersRegion());
  EXPECT_EQ(util::SharingUsers()["anna"].viewUIDs, (std::vector<std::uint32_t>{0x100003, 0x100002}))
      << "Cancel changes nothing";
}

TEST_F(FolderSharingSheetTest, OKStoresSortedListsAndTakesAFolderAwayFromAUser) {
  toolbox::Window* sheet = OpenSharingUserItemsSheet(kWork, "Work");
  ASSERT_TRUE(sheet);
  FolderSharingList(sheet)->ClickCheckBox(2, kFolderSharingViewColumn);  // anna sees it
  sheet->ProcessCommand(toolbox::kCommandOK);
  EXPECT_TRUE(sheet->IsReleased());
  auto stored = store_.CopyValue("Users");
  ASSERT_TRUE(stored);
  EXPECT_EQ(Stored(*stored, "anna", "access"), (std::vector<std::int64_t>{kWork, 0x100002, 0x100003}));
  EXPECT_EQ(Stored(*stored, "bob", "dlAccess"), (std::vector<std::int64_t>{kWork}));
  EXPECT_TRUE(queue::LookUpFolder(kWork)->flags() & queue::kFolderFlagShared);

  // Taken away from bob: he keeps neither view nor download; anna still sees it.
  sheet = OpenSharingUserItemsSheet(kWork, "Work");
  FolderSharingList(sheet)->ClickCheckBox(3, kFolderSharingViewColumn);
  EXPECT_TRUE(OKEnabled(*sheet));
  sheet->ProcessCommand(toolbox::kCommandOK);
  stored = store_.CopyValue("Users");
  ASSERT_TRUE(stored);
  EXPECT_TRUE(Stored(*stored, "bob", "access").empty());
  EXPECT_TRUE(Stored(*stored, "bob", "dlAccess").empty());
  EXPECT_EQ(Stored(*stored, "anna", "access"), (std::vector<std::int64_t>{kWork, 0x100002, 0x100003}));
  EXPECT_TRUE(queue::LookUpFolder(kWork)->flags() & queue::kFolderFlagShared);
}

}  // namespace
}  // namespace ui
