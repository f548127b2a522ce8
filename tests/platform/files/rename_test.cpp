#include "platform/files/rename.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "platform/files/catalog_info.h"
#include "tests/platform/files/small_tmpfs.h"
#include "tests/support/temp_home.h"

using namespace files;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// A file system that knows no renameat2 flags, as some network file systems answer.
int Renameat2WithoutFlags(int, const char*, int, const char*, unsigned) {
  errno = EINVAL;
  return -1;
}

class NoRenameFlags {
 public:
  NoRenameFlags() : previous_(SetRenameat2ForTesting(&Renameat2WithoutFlags)) {}
  ~NoRenameFlags() { SetRenameat2ForTesting(previous_); }

 private:
  Renameat2Function previous_;
};

class RenameTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) no_flags_.emplace();
    dir_ = testsupport::MakeTempDir();
  }
  std::string dir_;
  std::optional<NoRenameFlags> no_flags_;
};

}  // namespace

TEST_P(RenameTest, NoReplaceRefusesATakenName) {
  WriteFile(dir_ + "/a", "A");
  WriteFile(dir_ + "/b", "B");
  EXPECT_EQ(RenameNoReplace(FileRef(dir_ + "/a"), FileRef(dir_ + "/b")).code(), dupFNErr);
  EXPECT_EQ(ReadFile(dir_ + "/a"), "A");
  EXPECT_EQ(ReadFile(dir_ + "/b"), "B");
  ASSERT_TRUE(RenameNoReplace(FileRef(dir_ + "/a"), FileRef(dir_ + "/c")).ok());
  EXPECT_FALSE(Exists(FileRef(dir_ + "/a")));
  EXPECT_EQ(ReadFile(dir_ + "/c"), "A");
  EXPECT_EQ(RenameNoReplace(FileRef(dir_ + "/missing"), FileRef(dir_ + "/d")).code(), fnfErr);
}

TEST_P(RenameTest, NoReplaceMovesFoldersAndRefusesTakenFolderNames) {
  WriteFile(dir_ + "/f1/x", "1");
  WriteFile(dir_ + "/f2/y", "2");
  EXPECT_EQ(RenameNoReplace(FileRef(dir_ + "/f1"), FileRef(dir_ + "/f2")).code(), dupFNErr);
  ASSERT_TRUE(RenameNoReplace(FileRef(dir_ + "/f1"), FileRef(dir_ + "/f2/f1")).ok());
  EXPECT_EQ(ReadFile(dir_ + "/f2/f1/x"), "1");
}

TEST_P(RenameTest, ExchangeSwapsContentsAndModes) {
  WriteFile(dir_ + "/one/a", "old contents");
  WriteFile(dir_ + "/two/b", "new contents");
  chmod((dir_ + "/two/b").c_str(), 0600);
  ASSERT_TRUE(Exchange(FileRef(dir_ + "/one/a"), FileRef(dir_ + "/two/b")).ok());
  EXPECT_EQ(ReadFile(dir_ + "/one/a"), "new contents");
  EXPECT_EQ(ReadFile(dir_ + "/two/b"), "old contents");
  EXPECT_EQ(GetCatalogInfo(FileRef(dir_ + "/one/a"))->mode, 0600u);
  // Nothing is left behind under a temporary name.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ + "/two"), {}), 1);
}

TEST_P(RenameTest, ExchangeWithAMissingFileChangesNothing) {
  WriteFile(dir_ + "/a", "A");
  EXPECT_EQ(Exchange(FileRef(dir_ + "/a"), FileRef(dir_ + "/missing")).code(), fnfErr);
  EXPECT_EQ(ReadFile(dir_ + "/a"), "A");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(Rename, RenameTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WithoutRenameat2Flags" : "Native"; });

TEST(Rename, ExchangeAtomicallyReportsMissingSupport) {
  NoRenameFlags no_flags;
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/a", "A");
  WriteFile(dir + "/b", "B");
  EXPECT_TRUE(ExchangeAtomically(FileRef(dir + "/a"), FileRef(dir + "/b")).IsUnsupported());
  EXPECT_EQ(ReadFile(dir + "/a"), "A");
}

TEST(Rename, AcrossFileSystemsIsDiffVolErr) {
  testsupport::SmallTmpfs fs;
  TRUVANE_REQUIRE_TMPFS(fs);
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/a", "A");
  EXPECT_EQ(RenameNoReplace(FileRef(dir + "/a"), FileRef(fs.path() + "/a")).code(), diffVolErr);
  EXPECT_EQ(ReadFile(dir + "/a"), "A");
}
