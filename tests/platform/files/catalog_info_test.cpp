#include "platform/files/catalog_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/file_handle.h"
#include "tests/platform/files/small_tmpfs.h"
#include "tests/support/temp_home.h"

using namespace files;

TEST(CatalogInfo, KindsLinksAndHiddenNames) {
  const std::string dir = testsupport::MakeTempDir("info");
  testsupport::WriteFile(dir + "/.secret", "12345");
  chmod((dir + "/.secret").c_str(), 0640);
  ASSERT_EQ(symlink(dir.c_str(), (dir + "/to-folder").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir + "/dangling").c_str()), 0);

  auto file = GetCatalogInfo(FileRef(dir + "/.secret"));
  ASSERT_TRUE(file.ok());
  EXPECT_TRUE(file->IsFile());
  EXPECT_TRUE(file->hidden);
  EXPECT_EQ(file->size, 5u);
  EXPECT_EQ(file->mode, 0640u);
  EXPECT_EQ(file->uid, geteuid());

  auto link = GetCatalogInfo(FileRef(dir + "/to-folder"));
  EXPECT_EQ(link->kind, NodeKind::kSymlink);
  auto followed = GetCatalogInfo(FileRef(dir + "/to-folder"), LinkMode::kFollow);
  EXPECT_TRUE(followed->IsFolder());
  EXPECT_TRUE(followed->is_symlink);
  EXPECT_EQ(followed->inode, GetCatalogInfo(FileRef(dir))->inode);

  EXPECT_TRUE(Exists(FileRef(dir + "/dangling")));
  EXPECT_FALSE(IsFolder(FileRef(dir + "/dangling")));
  EXPECT_EQ(GetCatalogInfo(FileRef(dir + "/dangling"), LinkMode::kFollow).code(), fnfErr);
  EXPECT_TRUE(IsFolder(FileRef(dir + "/to-folder")));
}

TEST(CatalogInfo, ModificationTimeIsSetExactly) {
  const std::string dir = testsupport::MakeTempDir("info");
  testsupport::WriteFile(dir + "/f", "");
  const FileTime when{1234567890, 987654321};
  ASSERT_TRUE(SetModificationTime(FileRef(dir + "/f"), when).ok());
  EXPECT_EQ(GetCatalogInfo(FileRef(dir + "/f"))->modification_time, when);
  EXPECT_EQ(SetModificationTime(FileRef(dir + "/missing"), when).code(), fnfErr);
}

TEST(FileTime, ConvertsToAndFromDates) {
  const struct {
    FileTime time;
    double date_seconds;
  } cases[] = {
      {{978307200, 0}, 0.0},
      {{978307201, 500000000}, 1.5},
      {{0, 0}, -978307200.0},
      {{1714572239, 250000000}, 736265039.25},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(c.time.ToDate().seconds, c.date_seconds);
    EXPECT_EQ(FileTime::FromDate(values::Date{c.date_seconds}), c.time);
  }
}

TEST(FreeSpace, ShrinksAsAFileIsAllocated) {
  testsupport::SmallTmpfs fs("1m");
  TRUVANE_REQUIRE_TMPFS(fs);
  auto before = FreeSpace(FileRef(fs.path()));
  ASSERT_TRUE(before.ok());
  EXPECT_LE(*before, 1u << 20);
  EXPECT_GT(*before, 512u * 1024);
  auto h = FileHandle::Open(FileRef(fs.path() + "/f"), kOpenReadWrite | kOpenCreate);
  ASSERT_TRUE(h.ok());
  ASSERT_TRUE(h->Allocate(0, 256 * 1024).ok());
  EXPECT_LE(*FreeSpace(FileRef(fs.path())), *before - 256 * 1024);
  EXPECT_EQ(FindMountPoint(FileRef(fs.path() + "/f"))->Path(), fs.path());
}
