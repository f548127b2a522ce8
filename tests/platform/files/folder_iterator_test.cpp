#include "platform/files/folder_iterator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_home.h"

using namespace files;
using testsupport::WriteFile;

TEST(FolderIterator, ReadsInBatchesSortedWithInfo) {
  const std::string dir = testsupport::MakeTempDir();
  for (const char* name : {"c", "a", ".hidden", "b"}) WriteFile(dir + "/" + name, "12345");
  mkdir((dir + "/folder").c_str(), 0755);
  auto it = FolderIterator::Open(FileRef(dir));
  ASSERT_TRUE(it.ok());
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(it->ReadBulk(3, entries).ok());
  EXPECT_EQ(entries.size(), 3u);
  ASSERT_TRUE(it->ReadBulk(3, entries).ok());
  EXPECT_EQ(it->ReadBulk(3, entries).code(), errFSNoMoreItems);
  ASSERT_EQ(entries.size(), 5u);
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a", "b", "c", "folder"}));
  EXPECT_TRUE(entries[0].info.hidden);
  EXPECT_EQ(entries[1].info.size, 5u);
  EXPECT_EQ(entries[1].ref.Path(), dir + "/a");
  EXPECT_TRUE(entries[4].info.IsFolder());
}

TEST(FolderIterator, EntriesDeletedMeanwhileAreLeftOutAndChangeIsSeen) {
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/a", "");
  WriteFile(dir + "/b", "");
  auto it = FolderIterator::Open(FileRef(dir));
  ASSERT_TRUE(it.ok());
  EXPECT_FALSE(it->ContainerChanged());
  unlink((dir + "/a").c_str());
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(it->ReadBulk(10, entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "b");
  EXPECT_TRUE(it->ContainerChanged());
}

TEST(FolderIterator, OpenFailures) {
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/file", "");
  EXPECT_EQ(FolderIterator::Open(FileRef(dir + "/file")).code(), dirNFErr);
  EXPECT_EQ(FolderIterator::Open(FileRef(dir + "/missing")).code(), fnfErr);
}

TEST(WalkTree, VisitsFoldersBeforeContentsAndHonoursActions) {
  const std::string dir = testsupport::MakeTempDir();
  WriteFile(dir + "/a/x", "");
  WriteFile(dir + "/a/deep/y", "");
  WriteFile(dir + "/b/z", "");
  WriteFile(dir + "/c", "");
  ASSERT_EQ(symlink(dir.c_str(), (dir + "/a/loop").c_str()), 0);

  auto walk = [&](auto decide, WalkOptions options = {}) {
    std::vector<std::string> seen;
    const Status s = WalkTree(
        FileRef(dir),
        [&](const FolderEntry& e, int depth) {
          seen.push_back(std::to_string(depth) + ":" + e.ref.Path().substr(dir.size() + 1));
          return decide(e);
        },
        options);
    EXPECT_TRUE(s.ok()) << s.Describe();
    return seen;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(walk([](const FolderEntry&) { return WalkAction::kContinue; }),
            (V{"1:a", "2:a/deep", "3:a/deep/y", "2:a/loop", "2:a/x", "1:b", "2:b/z", "1:c"}));
  EXPECT_EQ(walk([](const FolderEntry& e) {
              return e.name == "a" ? WalkAction::kSkipChildren : WalkAction::kContinue;
            }),
            (V{"1:a", "1:b", "2:b/z", "1:c"}));
  EXPECT_EQ(
      walk([](const FolderEntry& e) { return e.name == "deep" ? WalkAction::kStop : WalkAction::kContinue; }),
      (V{"1:a", "2:a/deep"}));
  WalkOptions one_level;
  one_level.max_depth = 1;
  EXPECT_EQ(walk([](const FolderEntry&) { return WalkAction::kContinue; }, one_level),
            (V{"1:a", "1:b", "1:c"}));
  // Following links must not run around the loop back to the root.
  WalkOptions follow;
  follow.follow_links = true;
  EXPECT_EQ(walk([](const FolderEntry&) { return WalkAction::kContinue; }, follow).size(), 8u);
}
