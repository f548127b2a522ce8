#include "platform/files/xattr.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/temp_home.h"

using namespace files;

class XattrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = FileRef(testsupport::MakeTempDir() + "/f");
    testsupport::WriteFile(file_.Path(), "x");
    const Status probe = SetStringAttribute(file_, "user.truvane.probe", "1");
    if (probe.IsUnsupported()) GTEST_SKIP() << "no user extended attributes on this file system";
    ASSERT_TRUE(probe.ok()) << probe.Describe();
    ASSERT_TRUE(RemoveAttribute(file_, "user.truvane.probe").ok());
  }
  FileRef file_;
};

TEST_F(XattrTest, SetGetListRemove) {
  ASSERT_TRUE(SetStringAttribute(file_, kCommentAttribute, "from the mirror").ok());
  ASSERT_TRUE(SetStringAttribute(file_, kOriginURLAttribute, "http://127.0.0.1/a.zip").ok());
  const values::Bytes binary = {0, 1, 2, 255};
  ASSERT_TRUE(SetAttribute(file_, "user.truvane.bin", binary).ok());
  EXPECT_EQ(*GetStringAttribute(file_, kCommentAttribute), "from the mirror");
  EXPECT_EQ(*GetAttribute(file_, "user.truvane.bin"), binary);
  auto names = ListAttributes(file_);
  ASSERT_TRUE(names.ok());
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names,
            (std::vector<std::string>{"user.truvane.bin", "user.xdg.comment", "user.xdg.origin.url"}));
  ASSERT_TRUE(RemoveAttribute(file_, kCommentAttribute).ok());
  EXPECT_TRUE(IsAttributeMissing(GetAttribute(file_, kCommentAttribute).status()));
  EXPECT_TRUE(IsAttributeMissing(RemoveAttribute(file_, kCommentAttribute)));
}

TEST_F(XattrTest, OnlyUserNamesAndExistingItems) {
  EXPECT_EQ(SetStringAttribute(file_, "trusted.x", "1").code(), paramErr);
  EXPECT_EQ(GetAttribute(file_, "security.selinux").code(), paramErr);
  EXPECT_EQ(GetAttribute(FileRef(file_.Path() + ".missing"), kCommentAttribute).code(), fnfErr);
  EXPECT_FALSE(
      IsAttributeMissing(GetAttribute(FileRef(file_.Path() + ".missing"), kCommentAttribute).status()));
}

TEST_F(XattrTest, LinksCannotCarryThemAndSaySo) {
  const FileRef link(file_.Path() + ".link");
  ASSERT_EQ(symlink(file_.c_str(), link.c_str()), 0);
  EXPECT_TRUE(SetStringAttribute(link, kCommentAttribute, "x").IsUnsupported());
}
