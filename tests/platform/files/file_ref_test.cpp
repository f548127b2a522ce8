#include "platform/files/file_ref.h"

#include <gtest/gtest.h>

#include "tests/support/temp_home.h"

using namespace files;

TEST(FileRef, NormalisesPaths) {
  const struct {
    const char* in;
    const char* path;
    const char* name;
    const char* parent;
  } cases[] = {
      {"/", "/", "/", "/"},
      {"/a/b/", "/a/b", "b", "/a"},
      {"//a///b", "/a/b", "b", "/a"},
      {"/a/./b/../c", "/a/c", "c", "/a"},
      {"/..", "/", "/", "/"},
      {"/a", "/a", "a", "/"},
      {"/a/report final.pdf", "/a/report final.pdf", "report final.pdf", "/a"},
  };
  for (const auto& c : cases) {
    const FileRef ref(c.in);
    EXPECT_EQ(ref.Path(), c.path) << c.in;
    EXPECT_EQ(ref.Name(), c.name) << c.in;
    EXPECT_EQ(ref.Parent().Path(), c.parent) << c.in;
  }
}

TEST(FileRef, ContainsOnlyWholeComponents) {
  EXPECT_TRUE(FileRef("/a/b").Contains(FileRef("/a/b/c")));
  EXPECT_TRUE(FileRef("/a/b").Contains(FileRef("/a/b")));
  EXPECT_FALSE(FileRef("/a/b").Contains(FileRef("/a/bc")));
  EXPECT_TRUE(FileRef("/").Contains(FileRef("/x")));
  EXPECT_EQ(FileRef("/a").Child("b/c").Path(), "/a/b/c");
}

TEST(FileRef, ExistingRefNeedsTheItem) {
  const std::string dir = testsupport::MakeTempDir();
  EXPECT_EQ(MakeExistingRef(dir + "/missing").code(), fnfErr);
  testsupport::WriteFile(dir + "/here", "x");
  auto ref = MakeExistingRef(dir + "/here");
  ASSERT_TRUE(ref.ok());
  EXPECT_EQ(ref->Path(), dir + "/here");
}

TEST(FileRef, ItemNamesAreSingleComponents) {
  for (const char* bad : {"", ".", "..", "a/b"}) EXPECT_EQ(ValidateItemName(bad).code(), bdNamErr) << bad;
  EXPECT_EQ(ValidateItemName(std::string(256, 'x')).code(), bdNamErr);
  EXPECT_TRUE(ValidateItemName(std::string(255, 'x')).ok());
  EXPECT_TRUE(ValidateItemName(".hidden").ok());
}
