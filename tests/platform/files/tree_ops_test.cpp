#include "platform/files/tree_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/catalog_info.h"
#include "platform/files/xattr.h"
#include "tests/platform/files/small_tmpfs.h"
#include "tests/support/temp_home.h"

using namespace files;
using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(TreeOps, DeleteTreeRemovesReadOnlyFoldersButNotLinkTargets) {
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/keep/precious", "p");
  WriteFile(dir + "/tree/a/b/c", "c");
  WriteFile(dir + "/tree/locked/f", "f");
  ASSERT_EQ(symlink((dir + "/keep").c_str(), (dir + "/tree/link").c_str()), 0);
  chmod((dir + "/tree/locked").c_str(), 0555);
  ASSERT_TRUE(DeleteTree(FileRef(dir + "/tree")).ok());
  EXPECT_FALSE(Exists(FileRef(dir + "/tree")));
  EXPECT_EQ(ReadFile(dir + "/keep/precious"), "p");
  EXPECT_EQ(DeleteTree(FileRef(dir + "/tree")).code(), fnfErr);
}

TEST(TreeOps, DeleteItemRefusesAFullFolder) {
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/f/x", "x");
  EXPECT_EQ(DeleteItem(FileRef(dir + "/f")).code(), fBsyErr);
  ASSERT_TRUE(DeleteItem(FileRef(dir + "/f/x")).ok());
  EXPECT_TRUE(DeleteItem(FileRef(dir + "/f")).ok());
}

TEST(TreeOps, CopyTreeKeepsModesTimesLinksAndAttributes) {
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/src/sub/data", std::string(300000, 'd'));
  WriteFile(dir + "/src/script", "#!/bin/sh\n");
  chmod((dir + "/src/script").c_str(), 0750);
  ASSERT_EQ(symlink("sub/data", (dir + "/src/link").c_str()), 0);
  SetModificationTime(FileRef(dir + "/src/sub/data"), FileTime{1000000000, 5});
  SetModificationTime(FileRef(dir + "/src/sub"), FileTime{1100000000, 0});
  const Status xattr = SetStringAttribute(FileRef(dir + "/src/script"), kCommentAttribute, "note");

  ASSERT_TRUE(CopyTree(FileRef(dir + "/src"), FileRef(dir + "/dst")).ok());
  EXPECT_EQ(ReadFile(dir + "/dst/sub/data"), std::string(300000, 'd'));
  EXPECT_EQ(GetCatalogInfo(FileRef(dir + "/dst/script"))->mode, 0750u);
  EXPECT_EQ(GetCatalogInfo(FileRef(dir + "/dst/sub/data"))->modification_time, (FileTime{1000000000, 5}));
  EXPECT_EQ(GetCatalogInfo(FileRef(dir + "/dst/sub"))->modification_time, (FileTime{1100000000, 0}));
  EXPECT_TRUE(GetCatalogInfo(FileRef(dir + "/dst/link"))->is_symlink);

  EXPECT_EQ(CopyTree(FileRef(dir + "/src"), FileRef(dir + "/dst")).code(), dupFNErr);
  EXPECT_EQ(CopyTree(FileRef(dir + "/src"), FileRef(dir + "/src/sub/inner")).code(), paramErr);

  if (!xattr.ok()) GTEST_SKIP() << "this file system keeps no extended attributes";
  EXPECT_EQ(*GetStringAttribute(FileRef(dir + "/dst/script"), kCommentAttribute), "note");
}

TEST(TreeOps, MoveAcrossDevicesCopiesThenDeletes) {
  testsupport::SmallTmpfs fs("1m");
  TRUVANE_REQUIRE_TMPFS(fs);
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/pkg/file", "payload");
  chmod((dir + "/pkg/file").c_str(), 0640);
  SetModificationTime(FileRef(dir + "/pkg/file"), FileTime{1200000000, 0});
  ASSERT_TRUE(Move(FileRef(dir + "/pkg"), FileRef(fs.path() + "/pkg")).ok());
  EXPECT_FALSE(Exists(FileRef(dir + "/pkg")));
  EXPECT_EQ(ReadFile(fs.path() + "/pkg/file"), "payload");
  auto info = GetCatalogInfo(FileRef(fs.path() + "/pkg/file"));
  EXPECT_EQ(info->mode, 0640u);
  EXPECT_EQ(info->modification_time.seconds, 1200000000);
}

TEST(TreeOps, FailedCrossDeviceMoveLeavesTheSourceAndNoPartialCopy) {
  testsupport::SmallTmpfs fs("64k");
  TRUVANE_REQUIRE_TMPFS(fs);
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/big/part1", std::string(40000, 'a'));
  WriteFile(dir + "/big/part2", std::string(40000, 'b'));
  EXPECT_EQ(Move(FileRef(dir + "/big"), FileRef(fs.path() + "/big")).code(), dskFulErr);
  EXPECT_EQ(ReadFile(dir + "/big/part2"), std::string(40000, 'b'));
  EXPECT_FALSE(Exists(FileRef(fs.path() + "/big")));
}
