#include "app/util/files/file_system_helpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/files/catalog_info.h"
#include "platform/files/rename.h"
#include "platform/files/xattr.h"
#include "tests/platform/files/small_tmpfs.h"
#include "tests/support/temp_home.h"

using files::FileRef;
using files::OSErr;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A file system without renameat2 flags, where the N-th plain no-replace rename fails.
std::atomic<int> g_renames_until_failure{-1};
int Renameat2WithoutExchange(int od, const char* op, int nd, const char* np, unsigned flags) {
  if (flags & RENAME_EXCHANGE) {
    errno = EINVAL;
    return -1;
  }
  if (g_renames_until_failure >= 0 && g_renames_until_failure-- == 0) {
    errno = EACCES;
    return -1;
  }
  return ::renameat2(od, op, nd, np, flags);
}

class WithoutExchange {
 public:
  explicit WithoutExchange(int fail_at = -1)
      : previous_(files::SetRenameat2ForTesting(&Renameat2WithoutExchange)) {
    g_renames_until_failure = fail_at;
  }
  ~WithoutExchange() {
    files::SetRenameat2ForTesting(previous_);
    g_renames_until_failure = -1;
  }

 private:
  files::Renameat2Function previous_;
};

class RecordingNotifier : public FinderNotifier {
 public:
  void NotifyFolderChanged(const FileRef& folder) override { folders.push_back(folder.Path()); }
  std::vector<std::string> folders;
};

}  // namespace

TEST(MoveAndRenameItem, Cases) {
  struct Case {
    const char* what;
    const char* dest_files;  // files already in the destination, ";"-separated
    const char* new_name;    // nullptr: keep the name
    OSErr expected;
    const char* expected_place;  // relative to the test folder
  };
  const Case cases[] = {
      {"new name beside a file of the old name", "X", "Y", files::noErr, "dest/Y"},
      {"new name already taken", "Y", "Y", files::dupFNErr, "src/X"},
      {"own name already taken", "X", nullptr, files::dupFNErr, "src/X"},
      {"own name free", "", nullptr, files::noErr, "dest/X"},
      {"name with a slash", "", "a/b", files::bdNamErr, "src/X"},
      {"empty name", "", "", files::bdNamErr, "src/X"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = testsupport::MakeTempDir("move");
    WriteFile(dir + "/src/X", "moving");
    std::filesystem::create_directories(dir + "/dest");
    for (std::string_view rest = c.dest_files; !rest.empty();) {
      const auto semi = rest.find(';');
      WriteFile(dir + "/dest/" + std::string(rest.substr(0, semi)), "resident");
      rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    }
    const std::string new_name = c.new_name ? c.new_name : "";
    FileRef out;
    EXPECT_EQ(MoveAndRenameItem(FileRef(dir + "/src/X"), FileRef(dir + "/dest"),
                                c.new_name ? &new_name : nullptr, &out),
              c.expected);
    EXPECT_EQ(out.Path(), dir + "/" + c.expected_place);
    EXPECT_EQ(ReadFile(dir + "/" + c.expected_place), "moving");
    // Every other item in the destination is one that was there before, untouched.
    for (const std::string& resident : Names(dir + "/dest")) {
      if (dir + "/dest/" + resident == out.Path()) continue;
      EXPECT_EQ(ReadFile(dir + "/dest/" + resident), "resident");
    }
  }
}

TEST(MoveAndRenameItem, ArgumentAndPlaceErrors) {
  const std::string dir = testsupport::MakeTempDir("move");
  WriteFile(dir + "/X", "x");
  WriteFile(dir + "/notafolder", "");
  FileRef out;
  const std::string name = "Y";
  EXPECT_EQ(MoveAndRenameItem(FileRef(dir + "/X"), FileRef(dir), &name, nullptr), files::paramErr);
  EXPECT_EQ(MoveAndRenameItem(FileRef(dir + "/X"), FileRef(dir + "/notafolder"), nullptr, &out),
            files::dirNFErr);
  EXPECT_EQ(MoveAndRenameItem(FileRef(dir + "/missing"), FileRef(dir), &name, &out), files::fnfErr);
  EXPECT_EQ(MoveAndRenameItem(FileRef(dir + "/X"), FileRef(dir), nullptr, &out), files::noErr);
  EXPECT_EQ(out.Path(), dir + "/X");
  EXPECT_EQ(MoveAndRenameItem(FileRef(dir + "/X"), FileRef(dir), &name, &out), files::noErr);
  EXPECT_EQ(out.Path(), dir + "/Y");
}

TEST(MoveAndRenameItem, AcrossVolumesIsRefusedAndLeavesTheItem) {
  testsupport::SmallTmpfs fs;
  TRUVANE_REQUIRE_TMPFS(fs);
  const std::string dir = testsupport::MakeTempDir("move");
  WriteFile(dir + "/X", "x");
  FileRef out;
  EXPECT_EQ(MoveAndRenameItem(FileRef(dir + "/X"), FileRef(fs.path()), nullptr, &out), files::diffVolErr);
  EXPECT_EQ(out.Path(), dir + "/X");
  EXPECT_EQ(ReadFile(dir + "/X"), "x");
  EXPECT_TRUE(Names(fs.path()).empty());
}

class ExchangeFileContentsTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) without_.emplace();
    dir_ = testsupport::MakeTempDir("xchg");
    WriteFile(dir_ + "/one/queue.plist", "old queue");
    WriteFile(dir_ + "/two/queue.new", "new queue");
    chmod((dir_ + "/two/queue.new").c_str(), 0600);
  }
  std::optional<WithoutExchange> without_;
  std::string dir_;
};

TEST_P(ExchangeFileContentsTest, SwapsContentsAcrossFoldersAndReferencesFollowTheNames) {
  const FileRef a(dir_ + "/one/queue.plist"), b(dir_ + "/two/queue.new");
  FileRef new_a, new_b;
  ASSERT_EQ(ExchangeFileContents(a, b, &new_a, &new_b), files::noErr);
  EXPECT_EQ(new_a, a);
  EXPECT_EQ(new_b, b);
  EXPECT_EQ(ReadFile(new_a.Path()), "new queue");
  EXPECT_EQ(ReadFile(new_b.Path()), "old queue");
  EXPECT_EQ(files::GetCatalogInfo(a)->mode, 0600u);
  EXPECT_EQ(Names(dir_ + "/one"), std::vector<std::string>{"queue.plist"});
  EXPECT_EQ(Names(dir_ + "/two"), std::vector<std::string>{"queue.new"});
}

TEST_P(ExchangeFileContentsTest, RefusesFoldersAndMissingOutParameters) {
  const FileRef a(dir_ + "/one/queue.plist");
  FileRef new_a, new_b;
  EXPECT_EQ(ExchangeFileContents(a, FileRef(dir_ + "/two"), &new_a, &new_b), files::notAFileErr);
  EXPECT_EQ(ExchangeFileContents(a, FileRef(dir_ + "/two/queue.new"), &new_a, nullptr), files::paramErr);
  EXPECT_EQ(ExchangeFileContents(a, FileRef(dir_ + "/missing"), &new_a, &new_b), files::fnfErr);
  EXPECT_EQ(ReadFile(a.Path()), "old queue");
}

INSTANTIATE_TEST_SUITE_P(Exchange, ExchangeFileContentsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Emulated" : "Atomic"; });

TEST(ExchangeFileContents, EmulationUndoesEveryStepWhenOneFails) {
  // The emulation renames four times; a failure at each step must leave both files as
  // they were, with no temporary names behind.
  for (int fail_at = 0; fail_at < 4; ++fail_at) {
    SCOPED_TRACE(fail_at);
    const std::string dir = testsupport::MakeTempDir("undo");
    WriteFile(dir + "/one/a", "A");
    WriteFile(dir + "/two/b", "B");
    WithoutExchange without(fail_at);
    FileRef new_a, new_b;
    EXPECT_EQ(ExchangeFileContents(FileRef(dir + "/one/a"), FileRef(dir + "/two/b"), &new_a, &new_b),
              files::afpAccessDenied);
    EXPECT_EQ(ReadFile(dir + "/one/a"), "A");
    EXPECT_EQ(ReadFile(dir + "/two/b"), "B");
    EXPECT_EQ(Names(dir + "/one"), std::vector<std::string>{"a"});
    EXPECT_EQ(Names(dir + "/two"), std::vector<std::string>{"b"});
  }
}

TEST(ExchangeFileContents, AcrossVolumesIsDiffVolErr) {
  testsupport::SmallTmpfs fs;
  TRUVANE_REQUIRE_TMPFS(fs);
  const std::string dir = testsupport::MakeTempDir("xchg");
  WriteFile(dir + "/a", "A");
  WriteFile(fs.path() + "/b", "B");
  FileRef new_a, new_b;
  EXPECT_EQ(ExchangeFileContents(FileRef(dir + "/a"), FileRef(fs.path() + "/b"), &new_a, &new_b),
            files::diffVolErr);
  EXPECT_EQ(ReadFile(dir + "/a"), "A");
}

TEST(MakeUniqueTempName, SkipsNamesTakenInEitherFolder) {
  const std::string one = testsupport::MakeTempDir("one");
  const std::string two = testsupport::MakeTempDir("two");
  WriteFile(one + "/7452A000", "");
  WriteFile(two + "/7452A001", "");
  std::uint32_t counter = kTempNameCounterStart;
  std::string name;
  ASSERT_EQ(MakeUniqueTempName(counter, FileRef(one), FileRef(two), name), files::noErr);
  EXPECT_EQ(name, "7452A002");
  EXPECT_EQ(counter, 0x7452A003u);
  counter = 0xFFFFFFFFu;
  ASSERT_EQ(MakeUniqueTempName(counter, FileRef(one), FileRef(two), name), files::noErr);
  EXPECT_EQ(name, "FFFFFFFF");
  EXPECT_EQ(counter, 0u);
  EXPECT_EQ(MakeUniqueTempName(counter, FileRef(one), FileRef(one + "/missing"), name), files::dirNFErr);
}

TEST(DeleteFolderTree, Cases) {
  const std::string dir = testsupport::MakeTempDir("del");
  WriteFile(dir + "/file", "");
  EXPECT_EQ(DeleteFolderTree(FileRef(dir + "/file")), files::dirNFErr);
  EXPECT_EQ(DeleteFolderTree(FileRef(dir + "/missing")), files::fnfErr);

  WriteFile(dir + "/keep/x", "x");
  ASSERT_EQ(symlink((dir + "/keep").c_str(), (dir + "/link").c_str()), 0);
  EXPECT_EQ(DeleteFolderTree(FileRef(dir + "/link")), files::dirNFErr);
  EXPECT_EQ(ReadFile(dir + "/keep/x"), "x");

  WriteFile(dir + "/tree/locked.txt", "l");
  WriteFile(dir + "/tree/a/b/locked.bin", "l");
  WriteFile(dir + "/tree/a/c/.hidden", "h");
  ASSERT_EQ(symlink((dir + "/keep").c_str(), (dir + "/tree/a/link").c_str()), 0);
  chmod((dir + "/tree/locked.txt").c_str(), 0444);
  chmod((dir + "/tree/a/b/locked.bin").c_str(), 0444);
  chmod((dir + "/tree/a/b").c_str(), 0555);
  chmod((dir + "/tree").c_str(), 0555);
  EXPECT_EQ(DeleteFolderTree(FileRef(dir + "/tree")), files::noErr);
  EXPECT_FALSE(files::Exists(FileRef(dir + "/tree")));
  EXPECT_EQ(ReadFile(dir + "/keep/x"), "x");
}

TEST(DeleteFolderContents, EmptiesButKeepsTheFolder) {
  const std::string dir = testsupport::MakeTempDir("del");
  WriteFile(dir + "/f/a/b", "");
  WriteFile(dir + "/f/c", "");
  OSErr result = -1;
  DeleteFolderContents(FileRef(dir + "/f"), result);
  EXPECT_EQ(result, files::noErr);
  EXPECT_TRUE(Names(dir + "/f").empty());
  DeleteFolderContents(FileRef(dir + "/missing"), result);
  EXPECT_EQ(result, files::fnfErr);
}

class FinderInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir("finder");
    WriteFile(dir_ + "/file", "x");
    const files::Status probe = files::SetStringAttribute(FileRef(dir_ + "/file"), "user.truvane.probe", "1");
    if (probe.IsUnsupported()) GTEST_SKIP() << "no user extended attributes here";
    files::RemoveAttribute(FileRef(dir_ + "/file"), "user.truvane.probe");
    notifier_ = std::make_shared<RecordingNotifier>();
    SetFinderNotifier(notifier_);
  }
  void TearDown() override { SetFinderNotifier(nullptr); }
  std::string dir_;
  std::shared_ptr<RecordingNotifier> notifier_;
};

TEST_F(FinderInfoTest, TypeAndCreatorWithZeroKeeping) {
  const FileRef file(dir_ + "/file");
  ASSERT_EQ(SetFileTypeAndCreator(file, values::FourCC("Truv"), values::FourCC("TEXT")), files::noErr);
  ASSERT_EQ(SetFileTypeAndCreator(file, 0, values::FourCC("ZIP ")), files::noErr);
  FinderInfo info;
  ASSERT_EQ(GetItemFinderInfo(file, &info, nullptr, nullptr), files::noErr);
  EXPECT_EQ(info.Creator(), values::FourCC("Truv"));
  EXPECT_EQ(info.Type(), values::FourCC("ZIP "));
  EXPECT_EQ(SetFileTypeAndCreator(FileRef(dir_), 0, values::FourCC("TEXT")), files::notAFileErr);
  EXPECT_EQ(notifier_->folders, (std::vector<std::string>{dir_, dir_}));
}

TEST_F(FinderInfoTest, FlagsSetClearAndDerive) {
  const FileRef file(dir_ + "/file");
  ASSERT_EQ(SetCustomIconFinderFlag(file), files::noErr);
  ASSERT_EQ(SetFinderFlags(file, true, kFinderFlagIsStationery | 0x0004), files::noErr);
  ASSERT_EQ(SetFinderFlags(file, false, kFinderFlagIsStationery), files::noErr);
  FinderInfo info;
  ExtendedFinderInfo ext;
  bool is_folder = true;
  ASSERT_EQ(GetItemFinderInfo(file, &info, &ext, &is_folder), files::noErr);
  EXPECT_EQ(info.Flags(), kFinderFlagHasCustomIcon | 0x0004);
  EXPECT_FALSE(is_folder);

  WriteFile(dir_ + "/.dotfile", "");
  ASSERT_EQ(symlink(dir_.c_str(), (dir_ + "/folder-link").c_str()), 0);
  ASSERT_EQ(GetItemFinderInfo(FileRef(dir_ + "/.dotfile"), &info, nullptr, nullptr), files::noErr);
  EXPECT_EQ(info.Flags(), kFinderFlagIsInvisible);
  ASSERT_EQ(GetItemFinderInfo(FileRef(dir_ + "/folder-link"), &info, nullptr, &is_folder), files::noErr);
  EXPECT_EQ(info.Flags(), kFinderFlagIsAlias);
  EXPECT_TRUE(is_folder);
  EXPECT_EQ(GetItemFinderInfo(FileRef(dir_ + "/missing"), &info, nullptr, nullptr), files::fnfErr);
}

TEST(TouchItemModificationDate, ChangesTheDateAndTellsTheRightFolder) {
  auto notifier = std::make_shared<RecordingNotifier>();
  SetFinderNotifier(notifier);
  const std::string dir = testsupport::MakeTempDir("touch");
  WriteFile(dir + "/sub/file", "");
  const files::FileTime old_time{1000000000, 0};
  files::SetModificationTime(FileRef(dir + "/sub/file"), old_time);
  EXPECT_EQ(TouchItemModificationDate(FileRef(dir + "/sub/file")), files::noErr);
  EXPECT_GT(files::GetCatalogInfo(FileRef(dir + "/sub/file"))->modification_time, old_time);
  EXPECT_EQ(TouchItemModificationDate(FileRef(dir + "/sub")), files::noErr);
  EXPECT_EQ(TouchItemModificationDate(FileRef(dir + "/missing")), files::fnfErr);
  EXPECT_EQ(notifier->folders, (std::vector<std::string>{dir + "/sub", dir + "/sub"}));
  SetFinderNotifier(nullptr);
}

TEST(PathsAndReferences, ConvertBothWays) {
  const std::string dir = testsupport::MakeTempDir("ref");
  FileRef ref;
  EXPECT_FALSE(GetFSRef(dir + "/missing", &ref));
  ASSERT_TRUE(GetFSRef(dir + "/./", &ref));
  EXPECT_EQ(*StringWithFSRef(ref), dir);
  EXPECT_FALSE(StringWithFSRef(FileRef()).has_value());
  EXPECT_FALSE(StringWithFSRef(FileRef("/" + std::string(5000, 'x'))).has_value());
}
