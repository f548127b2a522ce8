#include "app/util/files/directory_enumerator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_home.h"

using testsupport::WriteFile;

namespace {

class EnumeratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDirectoryEnumeratorLog([this](std::string_view line) { log_.emplace_back(line); });
    dir_ = testsupport::MakeTempDir("enum");
    WriteFile(dir_ + "/alpha.txt", "12345");
    WriteFile(dir_ + "/.hidden", "");
    WriteFile(dir_ + "/folder/inner", "");
    WriteFile(dir_ + "/zeta", "");
    chmod((dir_ + "/zeta").c_str(), 0444);
  }
  void TearDown() override { SetDirectoryEnumeratorLog(nullptr); }

  std::vector<std::string> Drain(KWDirectoryEnumerator& e) {
    std::vector<std::string> names;
    while (auto name = e.NextObject()) names.push_back(*name);
    return names;
  }

  std::string dir_;
  std::vector<std::string> log_;
};

}  // namespace

TEST_F(EnumeratorTest, MissingPathIsNullAndLogsFileNotFound) {
  EXPECT_EQ(KWDirectoryEnumerator::InitWithPath(dir_ + "/missing"), nullptr);
  EXPECT_EQ(KWDirectoryEnumerator::InitWithPath(dir_ + "/zeta"), nullptr);
  EXPECT_EQ(log_, (std::vector<std::string>{"KWDirectoryEnumerator::initWithPath: - MacOS Error ID= -43",
                                            "KWDirectoryEnumerator::initWithPath: - MacOS Error ID= -120"}));
}

TEST_F(EnumeratorTest, ListsTheFolderFlatAcrossSmallCaches) {
  for (std::size_t cache : {1u, 3u, 16u}) {
    auto e = KWDirectoryEnumerator::InitWithPath(dir_, cache);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(Drain(*e), (std::vector<std::string>{".hidden", "alpha.txt", "folder", "zeta"}));
    EXPECT_FALSE(e->NextObject().has_value());
  }
  auto full = KWDirectoryEnumerator::InitWithPath(dir_ + "/");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(*full->NextObjectFullPath(), dir_ + "/.hidden");
  auto root = KWDirectoryEnumerator::InitWithPath("/");
  ASSERT_NE(root, nullptr);
  const auto first = root->NextObject();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->find('/'), std::string::npos);
  EXPECT_TRUE(log_.empty());
}

TEST_F(EnumeratorTest, CacheSizeChangesKeepEveryEntry) {
  auto e = KWDirectoryEnumerator::InitWithPath(dir_, 3);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(*e->NextObject(), ".hidden");
  e->SetCacheSize(1);
  EXPECT_EQ(Drain(*e), (std::vector<std::string>{"alpha.txt", "folder", "zeta"}));
}

TEST_F(EnumeratorTest, ZeroCacheSizeLogsAndEnds) {
  auto e = KWDirectoryEnumerator::InitWithPath(dir_, 0);
  ASSERT_NE(e, nullptr);
  EXPECT_FALSE(e->NextObject().has_value());
  EXPECT_EQ(log_, std::vector<std::string>{
                      "KWDirectoryEnumerator::nextObjectFullPath - FSCatalogInfoBulk returned 0 "
                      "items, but not errFSNoMoreItems."});
}

TEST_F(EnumeratorTest, AttributesFollowTheDesiredInformation) {
  auto e = KWDirectoryEnumerator::InitWithPath(dir_);
  ASSERT_NE(e, nullptr);
  e->SetDesiredInfo(kCatInfoNodeFlags);
  ASSERT_EQ(*e->NextObject(), ".hidden");
  EXPECT_FALSE(e->IsInvisible());  // Finder information was not asked for
  const values::Dictionary node_only = e->FileAttributes();
  EXPECT_EQ(node_only.size(), 2u);
  EXPECT_EQ(node_only.at("NSFileType"), values::Value("NSFileTypeRegular"));
  EXPECT_EQ(node_only.at("KWItemIsLocked"), values::Value(false));

  auto all = KWDirectoryEnumerator::InitWithPath(dir_);
  all->SetDesiredInfo(kCatInfoNodeFlags | kCatInfoFinderInfo | kCatInfoDataSizes | kCatInfoPermissions |
                      kCatInfoContentModDate);
  struct Expect {
    const char* name;
    bool invisible;
    bool directory;
    bool locked;
    std::int64_t size;  // -1: not compared (a folder's size is the file system's)
  };
  for (const Expect& x :
       {Expect{".hidden", true, false, false, -1}, Expect{"alpha.txt", false, false, false, 5},
        Expect{"folder", false, true, false, -1}, Expect{"zeta", false, false, true, -1}}) {
    ASSERT_EQ(*all->NextObject(), x.name);
    EXPECT_EQ(all->IsInvisible(), x.invisible) << x.name;
    EXPECT_EQ(all->IsDirectory(), x.directory) << x.name;
    const values::Dictionary attrs = all->FileAttributes();
    EXPECT_EQ(attrs.at("KWItemIsLocked"), values::Value(x.locked)) << x.name;
    EXPECT_EQ(attrs.at("KWItemIsInvisible"), values::Value(x.invisible)) << x.name;
    EXPECT_EQ(attrs.at("NSFileType"),
              values::Value(x.directory ? "NSFileTypeDirectory" : "NSFileTypeRegular"));
    EXPECT_TRUE(attrs.contains("NSFileModificationDate"));
    EXPECT_TRUE(attrs.contains("NSFilePosixPermissions"));
    EXPECT_EQ(attrs.at("KWLabelNumber"), values::Value(0));
    if (x.size >= 0) {
      EXPECT_EQ(attrs.at("NSFileSize").Int64Or(-1), x.size) << x.name;
    }
    EXPECT_FALSE(attrs.contains("KWFileAccessDate"));
  }
  e->SetDesiredInfo(kCatInfoNone);
  EXPECT_TRUE(e->FileAttributes().empty());
}
