#include "app/util/files/folder_walkers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/temp_home.h"

using files::FileRef;
using testsupport::WriteFile;

namespace {

// dir/a, dir/b/ (b/c, b/d/ (d/e)), dir/f
std::string MakeSmallTree() {
  const std::string dir = testsupport::MakeTempDir("walk");
  WriteFile(dir + "/a", "");
  WriteFile(dir + "/b/c", "");
  WriteFile(dir + "/b/d/e", "");
  WriteFile(dir + "/f", "");
  return dir;
}

std::vector<std::string> Iterate(const std::string& dir, std::uint32_t max_levels,
                                 const std::string& stop_at = "") {
  std::vector<std::string> seen;
  const files::OSErr err =
      IterateFolderTree(FileRef(dir), max_levels, kCatInfoNone, true,
                        [&](bool, std::uint32_t level, const ItemCatalogInfo& info, const FileRef& item,
                            const std::string* name) {
                          EXPECT_NE(name, nullptr);
                          EXPECT_EQ(item.Name(), *name);
                          seen.push_back(std::to_string(level) + ":" + *name + (info.IsFolder() ? "/" : ""));
                          return *name == stop_at;
                        });
  EXPECT_EQ(err, files::noErr);
  return seen;
}

}  // namespace

TEST(IterateFolderTree, LevelsAndStopping) {
  const std::string dir = MakeSmallTree();
  using V = std::vector<std::string>;
  EXPECT_EQ(Iterate(dir, 1), (V{"1:a", "1:b/", "1:f"}));
  EXPECT_EQ(Iterate(dir, 2), (V{"1:a", "1:b/", "2:c", "2:d/", "1:f"}));
  EXPECT_EQ(Iterate(dir, 0), (V{"1:a", "1:b/", "2:c", "2:d/", "3:e", "1:f"}));
  EXPECT_EQ(Iterate(dir, 0, "c"), (V{"1:a", "1:b/", "2:c"}));
}

TEST(IterateFolderTree, ArgumentsAndMissingContainers) {
  const std::string dir = MakeSmallTree();
  EXPECT_EQ(IterateFolderTree(FileRef(dir), 0, kCatInfoNone, false, nullptr), files::paramErr);
  int calls = 0;
  const auto count = [&](bool, std::uint32_t, const ItemCatalogInfo&, const FileRef&,
                         const std::string* name) {
    EXPECT_EQ(name, nullptr);
    ++calls;
    return false;
  };
  EXPECT_EQ(IterateFolderTree(FileRef(dir), 0, kCatInfoNone, false, count), files::noErr);
  EXPECT_EQ(calls, 6);
  EXPECT_EQ(IterateFolderTree(FileRef(dir + "/missing"), 0, kCatInfoNone, false, count), files::fnfErr);
}

TEST(IterateFolderTree, UnreadableFoldersAreSkipped) {
  const std::string dir = MakeSmallTree();
  chmod((dir + "/b/d").c_str(), 0);
  const std::vector<std::string> expected{"1:a", "1:b/", "2:c", "2:d/", "1:f"};
  if (geteuid() != 0) {
    EXPECT_EQ(Iterate(dir, 0), expected);
  } else {
    // Root reads every folder: walk as an unprivileged user in a child process instead.
    for (std::string up = dir; up.size() > 1; up = FileRef(up).Parent().Path()) {
      struct stat st;
      if (stat(up.c_str(), &st) == 0 && !(st.st_mode & S_IXOTH)) chmod(up.c_str(), st.st_mode | 0755);
    }
    chmod((dir + "/b").c_str(), 0755);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
      std::vector<std::string> seen;
      const files::OSErr err = IterateFolderTree(
          FileRef(dir), 0, kCatInfoNone, true,
          [&](bool, std::uint32_t level, const ItemCatalogInfo& info, const FileRef&,
              const std::string* name) {
            seen.push_back(std::to_string(level) + ":" + *name + (info.IsFolder() ? "/" : ""));
            return false;
          });
      _exit(err == files::noErr && seen == expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot switch to an unprivileged user";
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  chmod((dir + "/b/d").c_str(), 0755);
}

TEST(FolderWalker, HandsOutAFolderWholeBeforeItsSubfolders) {
  const std::string dir = testsupport::MakeTempDir("walker");
  for (int i = 0; i < 40; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "file%02d", i);
    WriteFile(dir + "/" + name, "");
  }
  WriteFile(dir + "/sub1/x1", "");
  WriteFile(dir + "/sub1/x2", "");
  WriteFile(dir + "/sub2/y1", "");
  WriteFile(dir + "/sub2/deeper/z1", "");

  std::unique_ptr<FolderWalker> walker;
  ASSERT_EQ(OpenFolderWalker(FileRef(dir), kCatInfoDataSizes, &walker, true), files::noErr);
  std::vector<std::string> order;
  FileRef ref;
  ItemCatalogInfo info;
  std::string name;
  files::OSErr err;
  while ((err = NextFolderWalkerItem(walker.get(), &ref, &info, &name)) == files::noErr) {
    EXPECT_EQ(ref.Name(), name);
    EXPECT_NE(info.valid & kCatInfoNodeFlags, 0u);  // always read
    order.push_back(ref.Path().substr(dir.size() + 1) + (info.IsFolder() ? "/" : ""));
  }
  EXPECT_EQ(err, files::errFSNoMoreItems);
  EXPECT_EQ(NextFolderWalkerItem(walker.get(), &ref, nullptr, nullptr), files::errFSNoMoreItems);
  CloseFolderWalker(std::move(walker));

  ASSERT_EQ(order.size(), 42u + 5u);
  EXPECT_EQ(order[0], "file00");
  EXPECT_EQ(order[40], "sub1/");
  EXPECT_EQ(order[41], "sub2/");
  // The subfolder pushed last is read first.
  const std::vector<std::string> rest(order.begin() + 42, order.end());
  EXPECT_EQ(rest,
            (std::vector<std::string>{"sub2/deeper/", "sub2/y1", "sub2/deeper/z1", "sub1/x1", "sub1/x2"}));
}

TEST(FolderWalker, OpenFailuresLeaveNoWalkerAndNamesOnlyWhenAsked) {
  const std::string dir = MakeSmallTree();
  std::unique_ptr<FolderWalker> walker;
  EXPECT_EQ(OpenFolderWalker(FileRef(dir + "/missing"), kCatInfoNone, &walker, false), files::fnfErr);
  EXPECT_EQ(walker, nullptr);
  EXPECT_EQ(OpenFolderWalker(FileRef(dir + "/a"), kCatInfoNone, &walker, false), files::dirNFErr);
  EXPECT_EQ(walker, nullptr);
  EXPECT_EQ(OpenFolderWalker(FileRef(dir), kCatInfoNone, nullptr, false), files::paramErr);

  ASSERT_EQ(OpenFolderWalker(FileRef(dir), kCatInfoNone, &walker, false), files::noErr);
  std::string name = "unchanged?";
  FileRef ref;
  ASSERT_EQ(NextFolderWalkerItem(walker.get(), &ref, nullptr, &name), files::noErr);
  EXPECT_EQ(ref.Name(), "a");
  EXPECT_EQ(name, "");
}

TEST(FolderWalker, StackGrowsTwicePlusOneAndShrinksByHalf) {
  // A chain of folders each holding many subfolders fills the stack; draining it shrinks it.
  const std::string dir = testsupport::MakeTempDir("stack");
  for (int i = 0; i < 9; ++i) WriteFile(dir + "/d" + std::to_string(i) + "/f", "");
  std::unique_ptr<FolderWalker> walker;
  ASSERT_EQ(OpenFolderWalker(FileRef(dir), kCatInfoNone, &walker, false), files::noErr);
  std::vector<std::size_t> capacities;
  while (NextFolderWalkerItem(walker.get(), nullptr, nullptr, nullptr) == files::noErr) {
    capacities.push_back(walker->stack_capacity());
  }
  // Nine folders pushed: 1, 3, 3, 7, 7, 7, 7, 15, 15; then popped while their files come out.
  EXPECT_EQ(std::vector<std::size_t>(capacities.begin(), capacities.begin() + 9),
            (std::vector<std::size_t>{1, 3, 3, 7, 7, 7, 7, 15, 15}));
  EXPECT_LT(capacities.back(), 15u);
}
