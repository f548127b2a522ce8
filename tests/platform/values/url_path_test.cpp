#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <optional>
#include <string>

#include "platform/values/url.h"

using values::FileUrlFromPath;
using values::PathFromFileUrl;
using values::Url;

namespace {

TEST(UrlPathEdits, DeletingLastPathComponent) {
  const struct {
    const char* text;
    std::optional<std::string> expected;
  } cases[] = {
      {"http://h/a/b", "http://h/a/"},
      {"http://h/a/b/", "http://h/a/"},
      {"http://h/a", "http://h/"},
      {"http://h/", "http://h/../"},  // the root climbs
      {"http://h", "http://h/../"},
      {"http://h/a/..", "http://h/a/../../"},
      {"http://h/a/./", "http://h/a/../"},
      {"ftp://h/d/f.txt;type=i", "ftp://h/d/;type=i"},
      {"http://h/a/b?q#f", "http://h/a/?q#f"},
      {"http://h/a%2Fb", "http://h/"},
      {"a/b", "a/"},
      {"b", "./"},
      {"mailto:a@b", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto url = Url::Create(c.text);
    ASSERT_TRUE(url);
    const auto result = url->DeletingLastPathComponent();
    EXPECT_EQ(result ? std::optional<std::string>(result->String()) : std::nullopt, c.expected);
  }
}

TEST(UrlPathEdits, AppendingPathComponentEscapesIt) {
  const struct {
    const char* text;
    const char* component;
    bool directory;
    std::optional<std::string> expected;
  } cases[] = {
      {"http://h/a", "b c", false, "http://h/a/b%20c"},
      {"http://h/a/", "x/y;z?#%", true, "http://h/a/x%2Fy%3Bz%3F%23%25/"},
      {"http://h", "f", false, "http://h/f"},
      {"ftp://h/pub/", "caf\xC3\xA9.txt", false, "ftp://h/pub/caf%C3%A9.txt"},
      {"http://h/a?q#f", "b", false, "http://h/a/b?q#f"},
      {"http://h/a", "caf\xE9", false, std::nullopt},  // not UTF-8
      {"mailto:a@b", "c", false, std::nullopt},
      {"", "a:b", false, "./a:b"},  // must not turn into a scheme
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " + " + c.component);
    const auto url = Url::Create(c.text);
    ASSERT_TRUE(url);
    const auto result = url->AppendingPathComponent(c.component, c.directory);
    EXPECT_EQ(result ? std::optional<std::string>(result->String()) : std::nullopt, c.expected);
  }
}

TEST(UrlPathEdits, AppendedComponentReadsBackAsLastComponent) {
  const auto url = Url::Create("http://h/dir/")->AppendingPathComponent("a b%c.tar", false);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->LastPathComponent(), "a b%c.tar");
  EXPECT_EQ(url->PathExtension(), "tar");
  EXPECT_EQ(url->DeletingLastPathComponent()->String(), "http://h/dir/");
}

TEST(FileUrl, FromPath) {
  const struct {
    const char* path;
    bool directory;
    std::optional<std::string> expected;
  } cases[] = {
      {"/tmp/a b;c?d#e%f", false, "file:///tmp/a%20b%3Bc%3Fd%23e%25f"},
      {"/tmp/dir", true, "file:///tmp/dir/"},
      {"/tmp/dir/", true, "file:///tmp/dir/"},
      {"/tmp/dir/", false, "file:///tmp/dir"},
      {"/", true, "file:///"},
      {"/", false, "file:///"},
      {"/tmp/caf\xC3\xA9", false, "file:///tmp/caf%C3%A9"},
      {"/tmp/a:b@c", false, "file:///tmp/a:b@c"},
      {"", false, std::nullopt},
      {"/tmp/caf\xE9", false, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto url = FileUrlFromPath(c.path, c.directory);
    EXPECT_EQ(url ? std::optional<std::string>(url->String()) : std::nullopt, c.expected);
  }
}

TEST(FileUrl, RelativePathIsTakenAgainstCurrentDirectory) {
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const auto url = FileUrlFromPath("sub/x y", false);
  ASSERT_TRUE(url);
  const std::string expected = std::string(cwd) + (std::string(cwd) == "/" ? "" : "/") + "sub/x y";
  EXPECT_EQ(PathFromFileUrl(*url), expected);
}

TEST(FileUrl, PathsRoundTrip) {
  for (const char* path : {"/tmp/a b;c?d#e%f", "/", "/tmp/caf\xC3\xA9/\xE2\x82\xAC.txt", "/x/%41"}) {
    SCOPED_TRACE(path);
    const auto url = FileUrlFromPath(path, false);
    ASSERT_TRUE(url);
    EXPECT_EQ(PathFromFileUrl(*url), path);
  }
}

TEST(FileUrl, ToPath) {
  const struct {
    const char* text;
    std::optional<std::string> expected;
  } cases[] = {
      {"file:///tmp/x", "/tmp/x"},
      {"file://localhost/tmp/x", "/tmp/x"},
      {"FILE://LocalHost/tmp/dir/", "/tmp/dir"},
      {"file:/tmp/x", "/tmp/x"},
      {"file:///", "/"},
      {"file:///tmp/a%2Fb", "/tmp/a%2Fb"},  // "%2F" cannot be a separator
      {"file:///tmp/x?q#f", "/tmp/x"},
      {"file://otherhost/tmp/x", std::nullopt},
      {"http://localhost/tmp/x", std::nullopt},
      {"file:///tmp/caf%E9", std::nullopt},
      {"file://localhost", std::nullopt},
      {"file:x", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto url = Url::Create(c.text);
    ASSERT_TRUE(url);
    EXPECT_EQ(PathFromFileUrl(*url), c.expected);
  }
}

TEST(FileUrl, RelativeToFileBase) {
  const auto base = FileUrlFromPath("/srv/data", true);
  ASSERT_TRUE(base);
  const auto url = Url::Create("../logs/a%20b.txt", *base);
  ASSERT_TRUE(url);
  EXPECT_EQ(PathFromFileUrl(*url), "/srv/logs/a b.txt");
}

}  // namespace
