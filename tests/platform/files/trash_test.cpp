#include "platform/files/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/files/catalog_info.h"
#include "platform/files/standard_folders.h"
#include "tests/platform/files/small_tmpfs.h"
#include "tests/support/temp_home.h"

using namespace files;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_tz_ = tz ? std::optional<std::string>(tz) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
    dir_ = testsupport::MakeTempDir("trash");
    trash_ = StandardFolderRef(StandardFolder::kTrash).Path();
  }
  void TearDown() override {
    if (saved_tz_)
      setenv("TZ", saved_tz_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  std::optional<std::string> saved_tz_;
  std::string dir_;
  std::string trash_;
};

constexpr std::time_t kMay1st2024 = 1714572239;  // 2024-05-01T14:03:59Z

}  // namespace

TEST(TrashPath, PercentEncodingRoundTrips) {
  const struct {
    const char* raw;
    const char* encoded;
  } cases[] = {
      {"/home/ann/report final.pdf", "/home/ann/report%20final.pdf"},
      {"/a/100%.txt", "/a/100%25.txt"},
      {"/a/é", "/a/%C3%A9"},
      {"rel/a-b_c.~d", "rel/a-b_c.~d"},
      {"/a/#?&=+", "/a/%23%3F%26%3D%2B"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeTrashPath(c.raw), c.encoded);
    EXPECT_EQ(DecodeTrashPath(c.encoded), c.raw);
  }
  EXPECT_EQ(DecodeTrashPath("/bad%zz%4"), "/bad%zz%4");
}

TEST_F(TrashTest, HomeTrashWritesInfoAndRestores) {
  WriteFile(dir_ + "/report final.pdf", "pdf");
  auto trashed = MoveToTrash(FileRef(dir_ + "/report final.pdf"), kMay1st2024);
  ASSERT_TRUE(trashed.ok()) << trashed.status().Describe();
  EXPECT_FALSE(Exists(FileRef(dir_ + "/report final.pdf")));
  EXPECT_EQ(trashed->trashed.Path(), trash_ + "/files/report final.pdf");
  EXPECT_EQ(ReadFile(trash_ + "/files/report final.pdf"), "pdf");
  EXPECT_EQ(ReadFile(trash_ + "/info/report final.pdf.trashinfo"),
            "[Trash Info]\nPath=" + EncodeTrashPath(dir_ + "/report final.pdf") +
                "\nDeletionDate=2024-05-01T14:03:59\n");

  auto restored = RestoreFromTrash(trashed->trashed);
  ASSERT_TRUE(restored.ok()) << restored.status().Describe();
  EXPECT_EQ(restored->Path(), dir_ + "/report final.pdf");
  EXPECT_EQ(ReadFile(dir_ + "/report final.pdf"), "pdf");
  EXPECT_FALSE(Exists(FileRef(trash_ + "/info/report final.pdf.trashinfo")));
}

TEST_F(TrashTest, SameNamesGetUniqueTrashNames) {
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    WriteFile(dir_ + "/dup.txt", std::to_string(i));
    auto t = MoveToTrash(FileRef(dir_ + "/dup.txt"));
    ASSERT_TRUE(t.ok());
    names.push_back(t->trashed.Name());
  }
  EXPECT_EQ(names[0], "dup.txt");
  EXPECT_EQ(names[1], "dup.txt.2");
  EXPECT_EQ(names[2], "dup.txt.3");
  EXPECT_EQ(ReadFile(trash_ + "/files/dup.txt.2"), "1");
}

TEST_F(TrashTest, RestoreRefusesATakenNameAndRemakesParents) {
  WriteFile(dir_ + "/pkg/sub/f", "x");
  auto t = MoveToTrash(FileRef(dir_ + "/pkg/sub"));
  ASSERT_TRUE(t.ok());
  WriteFile(dir_ + "/pkg/sub", "squatter");
  EXPECT_EQ(RestoreFromTrash(t->trashed).code(), dupFNErr);
  ASSERT_EQ(unlink((dir_ + "/pkg/sub").c_str()), 0);
  ASSERT_EQ(rmdir((dir_ + "/pkg").c_str()), 0);
  auto back = RestoreFromTrash(t->trashed);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(ReadFile(dir_ + "/pkg/sub/f"), "x");
}

TEST_F(TrashTest, OtherFileSystemsUseTheirTopDirectoryTrash) {
  testsupport::SmallTmpfs fs("1m");
  TRUVANE_REQUIRE_TMPFS(fs);
  WriteFile(fs.path() + "/sub/item", "on tmpfs");
  auto t = MoveToTrash(FileRef(fs.path() + "/sub/item"), kMay1st2024);
  ASSERT_TRUE(t.ok()) << t.status().Describe();
  const std::string own = fs.path() + "/.Trash-" + std::to_string(getuid());
  EXPECT_EQ(t->trashed.Path(), own + "/files/item");
  EXPECT_EQ(ReadFile(own + "/info/item.trashinfo"),
            "[Trash Info]\nPath=sub/item\nDeletionDate=2024-05-01T14:03:59\n");
  struct stat st;
  ASSERT_EQ(stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  auto back = RestoreFromTrash(t->trashed);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->Path(), fs.path() + "/sub/item");
}

TEST_F(TrashTest, SharedStickyTrashIsPreferredAndAPlantedOneIsNot) {
  testsupport::SmallTmpfs fs("1m");
  TRUVANE_REQUIRE_TMPFS(fs);
  const std::string shared = fs.path() + "/.Trash";
  ASSERT_EQ(mkdir(shared.c_str(), 01777), 0);
  chmod(shared.c_str(), 01777);
  WriteFile(fs.path() + "/a", "a");
  auto t = MoveToTrash(FileRef(fs.path() + "/a"));
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t->trashed.Path(), shared + "/" + std::to_string(getuid()) + "/files/a");
  ASSERT_TRUE(RestoreFromTrash(t->trashed).ok());
  EXPECT_EQ(ReadFile(fs.path() + "/a"), "a");

  chmod(shared.c_str(), 0777);  // without the sticky bit anyone could swap it: not trusted
  auto t2 = MoveToTrash(FileRef(fs.path() + "/a"));
  ASSERT_TRUE(t2.ok());
  EXPECT_EQ(t2->trashed.Path(), fs.path() + "/.Trash-" + std::to_string(getuid()) + "/files/a");
}

TEST_F(TrashTest, UnusableTopDirectoryTrashFallsBackToCopyingHome) {
  testsupport::SmallTmpfs fs("1m");
  TRUVANE_REQUIRE_TMPFS(fs);
  WriteFile(fs.path() + "/.Trash-" + std::to_string(getuid()), "not a folder");
  WriteFile(fs.path() + "/b", "bee");
  auto t = MoveToTrash(FileRef(fs.path() + "/b"));
  ASSERT_TRUE(t.ok()) << t.status().Describe();
  EXPECT_EQ(t->trashed.Parent().Path(), trash_ + "/files");
  EXPECT_FALSE(Exists(FileRef(fs.path() + "/b")));
  auto back = RestoreFromTrash(t->trashed);
  ASSERT_TRUE(back.ok()) << back.status().Describe();
  EXPECT_EQ(ReadFile(fs.path() + "/b"), "bee");
}

TEST_F(TrashTest, MissingItemsAndTheTrashItself) {
  EXPECT_EQ(MoveToTrash(FileRef(dir_ + "/missing")).code(), fnfErr);
  ASSERT_TRUE(FindStandardFolder(StandardFolder::kTrash, true).ok());
  EXPECT_EQ(MoveToTrash(FileRef(trash_)).code(), paramErr);
  EXPECT_EQ(RestoreFromTrash(FileRef(trash_ + "/files/never-there")).code(), fnfErr);
}
