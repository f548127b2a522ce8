#include <gtest/gtest.h>

#include <filesystem>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/record/download_files.h"
#include "app/util/settings/sharing_users.h"
#include "tests/app/queue/download_test_support.h"

namespace queue {
namespace {

using testing_support::DownloadTest;

class FolderOperationsTest : public DownloadTest {
 public:
  void TearDown() override {
    {
      runtime::RegionGuard inside(util::SharingUsersRegion());
      util::SharingUsers().clear();
    }
    DownloadTest::TearDown();
  }
  static void SetUser(const std::string& name, std::vector<std::uint32_t> view,
                      std::vector<std::uint32_t> dl) {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    util::SharingUsers()[name] = util::SharingUserRecord{{}, std::move(view), std::move(dl), -1, false};
  }
};

TEST_F(FolderOperationsTest, RemovedFolderLetsItsDownloadsGoButKeepsThemQueued) {
  const std::string dir = testsupport::MakeTempDir();
  AddDownloadRequest r = Request({"http://a.example/f.bin"});
  r.destination = MakeAliasBytes(files::FileRef(dir));
  WrapperRef w = LookUpDownloadWrapper(AddDownload(r));
  ASSERT_EQ(StartDownload(w), 0);
  AddFolder(0x100001, "A");
  AddElementToFolder(w, 0x100001);
  SetUser("Guest", {0x100001, 1}, {0x100001});
  DisplayViews({kMyDownloadsViewID, 0x100001});

  RemoveFolder(kMyDownloadsViewID, true);  // not removable: nothing happens
  EXPECT_TRUE(LookUpFolder(kMyDownloadsViewID));

  RemoveFolder(0x100001, true);
  EXPECT_FALSE(LookUpFolder(0x100001));
  EXPECT_TRUE(LookUpDownloadWrapper(w->uid()));
  EXPECT_EQ(w->foldersContainedIn(), std::set<ViewID>{kMyDownloadsViewID});
  EXPECT_FALSE(std::filesystem::exists(dir + "/f.bin.partial"));  // in the Trash
  EXPECT_EQ(mainList->removedRows, std::vector<std::uint32_t>{0x100001});
  EXPECT_EQ(GetDisplayedViewSet(), std::set<ViewID>{kMyDownloadsViewID});
  runtime::RegionGuard inside(util::SharingUsersRegion());
  EXPECT_EQ(util::SharingUsers()["Guest"].viewUIDs, std::vector<std::uint32_t>{1});
  EXPECT_TRUE(util::SharingUsers()["Guest"].downloadUIDs.empty());
}

TEST_F(FolderOperationsTest, SharedFlagsFollowTheUsersViewLists) {
  AddFolder(0x100001, "stale");   // flagged, in nobody's list
  AddFolder(0x100002, "new");     // in a list, not flagged
  AddFolder(0x100003, "steady");  // flagged and listed
  LookUpFolder(0x100001)->setFlags(kFolderFlagShared);
  LookUpFolder(0x100003)->setFlags(kFolderFlagShared);
  SetUser("u", {0x100002, 0x100003}, {});
  RefreshSharedFolderFlags();
  EXPECT_EQ(LookUpFolder(0x100001)->flags() & kFolderFlagShared, 0u);
  EXPECT_EQ(LookUpFolder(0x100002)->flags() & kFolderFlagShared, kFolderFlagShared);
  ASSERT_EQ(mainList->iconRefreshes.size(), 1u);
  EXPECT_EQ(mainList->iconRefreshes[0], (std::vector<std::uint32_t>{0x100001, 0x100002}));

  UnshareFolder(0x100003);
  EXPECT_EQ(LookUpFolder(0x100003)->flags() & kFolderFlagShared, 0u);
  UpdateFolderSharedState(0x100002);
  EXPECT_EQ(mainList->sharedIcons.back(), std::make_pair(0x100002u, true));
}

}  // namespace
}  // namespace queue
