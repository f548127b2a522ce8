// The walk of a folder upload: level by level, links passed over, what was sent skipped.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/upload/contexts/folder_upload_context.h"
#include "tests/support/temp_home.h"

namespace upload {
namespace {

namespace fs = std::filesystem;

// Every relative path the walk hands out, a context's files before its sub-folders.
std::vector<std::string> Walk(const std::string& root, const std::shared_ptr<std::set<std::string>>& sent,
                              std::size_t stopAfter = 1000) {
  std::vector<std::string> out;
  std::vector<std::shared_ptr<FolderUploadContext>> pending{
      std::make_shared<FolderUploadContext>(root, "", sent)};
  while (!pending.empty() && out.size() < stopAfter) {
    auto context = pending.front();
    pending.erase(pending.begin());
    while (out.size() < stopAfter) {
      auto next = context->NextFileInfo();
      if (!next) break;
      out.push_back(context->basePath().empty() ? next->name : context->basePath() + "/" + next->name);
    }
    if (out.size() >= stopAfter) break;
    for (auto& sub : context->ClientsForSubUploads()) pending.push_back(sub);
  }
  return out;
}

TEST(FolderUploadContextTest, WalksLevelByLevelWithoutFollowingLinks) {
  const std::string root = testsupport::MakeTempDir("walk");
  testsupport::WriteFile(root + "/b.txt", "b");
  testsupport::WriteFile(root + "/a.txt", "a");
  testsupport::WriteFile(root + "/sub/c.txt", "c");
  testsupport::WriteFile(root + "/sub/deep/d.txt", "d");
  testsupport::WriteFile(root + "/../elsewhere/e.txt", "e");
  fs::create_directory_symlink(root + "/../elsewhere", root + "/sub/folder-link");
  fs::create_symlink(root + "/a.txt", root + "/file-link");
  fs::create_directory_symlink(root, root + "/sub/loop");
  fs::create_directories(root + "/only/folders/here");
  testsupport::WriteFile(root + "/only/folders/here/z.txt", "z");

  auto sent = std::make_shared<std::set<std::string>>();
  // Level by level: the deepest file comes last.
  EXPECT_EQ(Walk(root, sent), (std::vector<std::string>{"a.txt", "b.txt", "sub/c.txt", "sub/deep/d.txt",
                                                        "only/folders/here/z.txt"}));
  EXPECT_EQ(FolderTreeSize(root), 5);
}

TEST(FolderUploadContextTest, AWalkStartedAgainSkipsWhatWasSent) {
  const std::string root = testsupport::MakeTempDir("again");
  for (const char* name : {"1", "2", "3", "sub/4", "sub/5"}) testsupport::WriteFile(root + "/" + name, name);
  auto sent = std::make_shared<std::set<std::string>>();
  // Three handed out: the first two count as sent, the third was in flight.
  EXPECT_EQ(Walk(root, sent, 3), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(*sent, (std::set<std::string>{"1", "2"}));
  EXPECT_EQ(Walk(root, sent), (std::vector<std::string>{"3", "sub/4", "sub/5"}));

  FolderUploadContext missing(root + "/no such folder", "", sent);
  EXPECT_FALSE(missing.NextFileInfo());
  EXPECT_TRUE(missing.ClientsForSubUploads().empty());
}

}  // namespace
}  // namespace upload
