#include "app/util/files/file_bridges.h"
#include "app/util/files/folder_tree_size.h"
#include "app/util/files/unique_move.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/fakes/fake_workspace.h"
#include "tests/support/temp_home.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST(CreateDirectoryAtPath, MakesEveryMissingLevelButNeverReplacesAFile) {
  const std::string dir = testsupport::MakeTempDir("mkdir");
  EXPECT_TRUE(util::CreateDirectoryAtPath(dir + "/a/b/c"));
  EXPECT_TRUE(IsFolder(dir + "/a/b/c"));
  EXPECT_TRUE(util::CreateDirectoryAtPath(dir + "/a/b"));  // already there
  testsupport::WriteFile(dir + "/file", "x");
  EXPECT_FALSE(util::CreateDirectoryAtPath(dir + "/file"));
  EXPECT_FALSE(util::CreateDirectoryAtPath(dir + "/file/sub"));
  EXPECT_EQ(testsupport::ReadFile(dir + "/file"), "x");
  EXPECT_TRUE(util::CreateDirectoryForURL(*values::FileUrlFromPath(dir + "/u v/w", true)));
  EXPECT_TRUE(IsFolder(dir + "/u v/w"));
  EXPECT_FALSE(util::CreateDirectoryForURL(*values::Url::Create("http://h/x/")));
}

TEST(MoveItemsToTrash, OneOperationForTheFirstFolderOneForEachStranger) {
  fakes::ScopedFakeWorkspace workspace;
  util::MoveItemsToTrash({});
  EXPECT_TRUE(workspace->recycles.empty());
  util::MoveItemsToTrash({"/d/a", "/e/x", "/d/b", "/f/y", "/d/c"});
  using R = fakes::FakeWorkspace::Recycle;
  EXPECT_EQ(workspace->recycles, (std::vector<R>{R{"/e", {"x"}}, R{"/f", {"y"}}, R{"/d", {"a", "b", "c"}}}));
}

TEST(DeleteItemOrMoveToTrash, DeletesAndTrashesOnlyWhenThatFails) {
  fakes::ScopedFakeWorkspace workspace;
  const std::string dir = testsupport::MakeTempDir("delete");
  testsupport::WriteFile(dir + "/tree/sub/f", "x");
  EXPECT_TRUE(util::DeleteItemOrMoveToTrash(dir + "/tree"));
  EXPECT_FALSE(Exists(dir + "/tree"));
  EXPECT_TRUE(workspace->recycles.empty());
  // Nothing there to delete: the Trash is tried, and its answer is the result.
  workspace->succeed = false;
  EXPECT_FALSE(util::DeleteItemOrMoveToTrash(dir + "/missing"));
  ASSERT_EQ(workspace->recycles.size(), 1u);
  EXPECT_EQ(workspace->recycles[0].names, std::vector<std::string>{"missing"});
}

TEST(LinuxWorkspace, OpensThroughXdgOpenAndCopiesAndTrashesForReal) {
  std::vector<std::vector<std::string>> runs;
  desktop::LinuxWorkspace workspace([&](const std::vector<std::string>& argv) {
    runs.push_back(argv);
    return true;
  });
  EXPECT_TRUE(workspace.OpenURL("https://example.org/a b"));
  EXPECT_TRUE(workspace.RevealItem("/data/x/file.zip"));
  EXPECT_TRUE(workspace.ComposeMail("mailto:a@b.example?subject=Hi&Body=x%20y"));
  EXPECT_FALSE(workspace.ComposeMail("--help"));  // never handed to xdg-email as an option
  EXPECT_EQ(runs, (std::vector<std::vector<std::string>>{
                      {"xdg-open", "https://example.org/a b"},
                      {"xdg-open", "/data/x"},
                      {"xdg-email", "mailto:a@b.example?subject=Hi&Body=x%20y"}}));

  const std::string dir = testsupport::MakeTempDir("workspace");
  testsupport::WriteFile(dir + "/src/plugin/inner", "1");
  util::CreateDirectoryAtPath(dir + "/dest");
  EXPECT_TRUE(workspace.CopyItem(dir + "/src/plugin", dir + "/dest"));
  EXPECT_EQ(testsupport::ReadFile(dir + "/dest/plugin/inner"), "1");
  EXPECT_FALSE(workspace.CopyItem(dir + "/src/plugin", dir + "/dest"));  // the name is taken

  testsupport::WriteFile(dir + "/src/a.txt", "a");
  EXPECT_TRUE(workspace.RecycleItems(dir + "/src", {"a.txt", "plugin"}));
  EXPECT_FALSE(Exists(dir + "/src/a.txt"));
  EXPECT_FALSE(workspace.RecycleItems(dir + "/src", {"gone"}));
}

TEST(GetFolderTreeSize, SumsFilesAtEveryLevel) {
  const std::string dir = testsupport::MakeTempDir("size");
  std::uint64_t bytes = 99;
  util::CreateDirectoryAtPath(dir + "/empty");
  EXPECT_EQ(util::GetFolderTreeSize(files::FileRef(dir + "/empty"), &bytes), files::noErr);
  EXPECT_EQ(bytes, 0u);
  testsupport::WriteFile(dir + "/t/a", "12345");
  testsupport::WriteFile(dir + "/t/s/b", "123");
  testsupport::WriteFile(dir + "/t/s/u/c", "1");
  EXPECT_EQ(util::GetFolderTreeSize(files::FileRef(dir + "/t"), &bytes), files::noErr);
  EXPECT_EQ(bytes, 9u);
  bytes = 7;
  EXPECT_EQ(util::GetFolderTreeSize(files::FileRef(dir + "/none"), &bytes), files::fnfErr);
  EXPECT_EQ(bytes, 7u);
}

TEST(MoveAndRenameUnique, NumbersBeforeTheExtension) {
  const std::pair<std::pair<const char*, unsigned>, const char*> names[] = {
      {{"report.pdf", 2}, "report.2.pdf"}, {{"README", 1}, "README.1"}, {{".profile", 1}, ".profile.1"},
      {{"a.tar.gz", 3}, "a.tar.3.gz"},     {{"name.", 1}, "name..1"},   {{"v1.0 final", 1}, "v1.0 final.1"},
  };
  for (const auto& [in, out] : names) EXPECT_EQ(util::NumberedName(in.first, in.second), out) << in.first;

  const std::string dir = testsupport::MakeTempDir("unique");
  testsupport::WriteFile(dir + "/dest/report.pdf", "old");
  testsupport::WriteFile(dir + "/dest/report.1.pdf", "older");
  testsupport::WriteFile(dir + "/src/download", "new");
  files::FileRef moved;
  EXPECT_EQ(util::MoveAndRenameUnique(files::FileRef(dir + "/src/download"), files::FileRef(dir + "/dest"),
                                      "report.pdf", &moved),
            files::noErr);
  EXPECT_EQ(moved.Path(), dir + "/dest/report.2.pdf");
  EXPECT_EQ(testsupport::ReadFile(dir + "/dest/report.2.pdf"), "new");
  EXPECT_EQ(testsupport::ReadFile(dir + "/dest/report.pdf"), "old");  // nothing overwritten

  // Another failure: the item keeps its place and takes the requested name there.
  testsupport::WriteFile(dir + "/src/other", "x");
  EXPECT_EQ(util::MoveAndRenameUnique(files::FileRef(dir + "/src/other"),
                                      files::FileRef(dir + "/no-such-folder"), "wanted.txt", &moved),
            files::fnfErr);
  EXPECT_EQ(testsupport::ReadFile(dir + "/src/wanted.txt"), "x");
}

}  // namespace
