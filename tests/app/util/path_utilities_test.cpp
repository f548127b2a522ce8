#include "app/util/files/path_utilities.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitPathAtLastSlash, SplitsAtTheLastSlash) {
  struct Case {
    const char* path;
    const char* parent;
    const char* last;
  } cases[] = {
      {"/a/b", "/a", "b"}, {"/b", "", "b"}, {"a/b/", "a/b", ""}, {"b", "", "b"}, {"", "", ""}, {"/", "", ""},
  };
  for (const auto& c : cases) {
    util::SplitPath split = util::SplitPathAtLastSlash(c.path);
    EXPECT_EQ(split.parent, c.parent) << c.path;
    EXPECT_EQ(split.last, c.last) << c.path;
  }
}

TEST(CopyPathByAppendingComponent, JoinsWithExactlyOneSlash) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"/a/", "/b", "/a/b"}, {"/a", "b", "/a/b"}, {"/a/", "b", "/a/b"},
      {"/a", "/b", "/a/b"},  {"/a", "", "/a"},    {"", "b", "/b"},
  };
  for (auto [base, component, joined] : cases) {
    EXPECT_EQ(util::CopyPathByAppendingComponent(base, component), joined) << base << " + " << component;
  }
}

TEST(CopyPathRelativeToBase, GivesTheRestUnderTheBase) {
  using O = std::optional<std::string>;
  const std::tuple<O, O, O> cases[] = {
      {"/a", "/a/b", "b"},
      {"/a/", "/a/b/c", "b/c"},
      {"/a", "/a/", ""},
      {"/a", "/a", std::nullopt},
      {"/a", "/b/a", std::nullopt},
      {"/A", "/a/b", std::nullopt},  // case-sensitive
      {"/a", "/ab", std::nullopt},   // not a component boundary
      {std::nullopt, "/a", std::nullopt},
      {"/a", std::nullopt, std::nullopt},
  };
  for (const auto& [base, path, expected] : cases) {
    std::optional<std::string_view> b, p;
    if (base) b = *base;
    if (path) p = *path;
    EXPECT_EQ(util::CopyPathRelativeToBase(b, p), expected)
        << base.value_or("null") << " " << path.value_or("null");
  }
}

}  // namespace
