#include "platform/files/alias.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "platform/files/create_items.h"
#include "platform/files/rename.h"
#include "tests/support/temp_home.h"

using namespace files;
using testsupport::WriteFile;

namespace {

class AliasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testsupport::MakeTempDir("alias");
    WriteFile(root_ + "/a/b/c/file.bin", "data");
    auto alias = MakeAlias(FileRef(root_ + "/a/b/c/file.bin"));
    ASSERT_TRUE(alias.ok());
    alias_ = *alias;
  }
  void MoveTo(const std::string& to) {
    ASSERT_TRUE(CreateFolder(FileRef(to).Parent(), true).ok());
    ASSERT_TRUE(RenameNoReplace(FileRef(root_ + "/a/b/c/file.bin"), FileRef(to)).ok());
  }
  std::string root_;
  AliasRecord alias_;
};

}  // namespace

TEST_F(AliasTest, ResolvesAtItsPathWithoutUpdate) {
  auto r = ResolveAlias(alias_);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->ref.Path(), root_ + "/a/b/c/file.bin");
  EXPECT_FALSE(r->updated);
}

TEST_F(AliasTest, FollowsMovesWithinReach) {
  for (const std::string& to : {root_ + "/a/b/c/renamed.bin", root_ + "/a/b/sibling/file.bin",
                                testsupport::TempHome() + "/moved-home.bin"}) {
    SCOPED_TRACE(to);
    AliasRecord alias = alias_;
    const std::string from = root_ + "/a/b/c/file.bin";
    ASSERT_TRUE(CreateFolder(FileRef(to).Parent(), true).ok());
    ASSERT_TRUE(RenameNoReplace(FileRef(from), FileRef(to)).ok());
    auto r = ResolveAlias(alias);
    ASSERT_TRUE(r.ok()) << r.status().Describe();
    EXPECT_EQ(r->ref.Path(), to);
    EXPECT_TRUE(r->updated);
    EXPECT_EQ(alias.path, to);
    ASSERT_TRUE(RenameNoReplace(FileRef(to), FileRef(from)).ok());
  }
}

TEST_F(AliasTest, BeyondTheSearchOrDeletedIsNotFound) {
  MoveTo(root_ + "/far/away/down/here/file.bin");
  EXPECT_EQ(ResolveAlias(alias_).code(), fnfErr);
  unlink((root_ + "/far/away/down/here/file.bin").c_str());
  EXPECT_EQ(ResolveAlias(alias_).code(), fnfErr);
}

TEST_F(AliasTest, AFileReplacedUnderTheSameNameIsTheOneMeant) {
  const std::string path = root_ + "/a/b/c/file.bin";
  // Written beside it and renamed over it, as editors save: a new inode under the old name.
  WriteFile(path + ".new", "new");
  ASSERT_EQ(rename((path + ".new").c_str(), path.c_str()), 0);
  const std::uint64_t old_inode = alias_.inode;
  auto r = ResolveAlias(alias_);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->ref.Path(), path);
  EXPECT_TRUE(r->updated);
  EXPECT_NE(alias_.inode, old_inode);
}

TEST_F(AliasTest, RelativeAliasFollowsItsBase) {
  auto rel = MakeAliasRelativeTo(FileRef(root_ + "/a/b/c/file.bin"), FileRef(root_ + "/a"));
  ASSERT_TRUE(rel.ok());
  EXPECT_EQ(rel->relative_path, "b/c/file.bin");
  // The base and the item move together, deeper than the search reaches: only the relative
  // path can find the item.
  ASSERT_TRUE(CreateFolder(FileRef(root_ + "/x/y/z/w"), true).ok());
  ASSERT_TRUE(RenameNoReplace(FileRef(root_ + "/a"), FileRef(root_ + "/x/y/z/w/a")).ok());
  const FileRef new_base(root_ + "/x/y/z/w/a");
  auto r = ResolveAlias(*rel, &new_base);
  ASSERT_TRUE(r.ok()) << r.status().Describe();
  EXPECT_EQ(r->ref.Path(), root_ + "/x/y/z/w/a/b/c/file.bin");
  EXPECT_TRUE(r->updated);
  EXPECT_EQ(rel->relative_path, "b/c/file.bin");
  auto outside = MakeAliasRelativeTo(FileRef(root_ + "/x/y/z/w/a/b/c/file.bin"), FileRef(root_ + "/x/q"));
  ASSERT_TRUE(outside.ok());
  EXPECT_EQ(outside->relative_path, "../y/z/w/a/b/c/file.bin");
}

TEST(AliasBytes, RoundTripAndRejectMalformedRecords) {
  AliasRecord alias;
  alias.path = "/home/ann/Downloads/é.zip";
  alias.relative_path = "../Downloads/é.zip";
  alias.device = 0x0000000800000001ull;
  alias.inode = 1234567890123ull;
  alias.creation_time = FileTime{1700000000, 123};
  alias.is_folder = false;
  const values::Bytes bytes = AliasToBytes(alias);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "TRal");
  auto back = AliasFromBytes(bytes);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(*back, alias);

  AliasRecord plain;
  plain.path = "/x";
  plain.is_folder = true;
  EXPECT_EQ(*AliasFromBytes(AliasToBytes(plain)), plain);

  values::Bytes wrong_magic = bytes;
  wrong_magic[0] = 'X';
  values::Bytes wrong_version = bytes;
  wrong_version[5] = 2;
  values::Bytes truncated(bytes.begin(), bytes.end() - 3);
  values::Bytes relative_path_only = AliasToBytes(plain);
  relative_path_only[40] = 'x';  // the path no longer starts with "/"
  for (const values::Bytes& bad :
       {wrong_magic, wrong_version, truncated, values::Bytes{}, relative_path_only}) {
    EXPECT_EQ(AliasFromBytes(bad).code(), paramErr);
  }
}
