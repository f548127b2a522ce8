#pragma once
// "/"-separated path texts: splitting, joining and making one path relative to another.
// These work on the text only and never touch the file system, so they serve remote
// paths (FTP, WebDAV) as well as local ones.

#include <optional>
#include <string>
#include <string_view>

namespace util {

struct SplitPath {
  std::string parent;  // the pieces before the last "/", joined again with "/"
  std::string last;    // the piece after the last "/" (empty when the path ends with "/")
};

// "/a/b" -> {"/a", "b"}; "/b" -> {"", "b"}; "a/b/" -> {"a/b", ""}; "b" -> {"", "b"}.
SplitPath SplitPathAtLastSlash(std::string_view path);

// Joins with exactly one "/" between base and component; the base itself when the
// component is empty. "/a/" + "/b" -> "/a/b".
std::string CopyPathByAppendingComponent(std::string_view base, std::string_view component);

// The rest of `path` after `base` (skipping the "/" that follows a base without a
// trailing one): "/a/b" under "/a" -> "b". Nothing when either is missing, when the two
// are equal, or when the path does not begin with the base (case-sensitive) followed by
// a component boundary ("/ab" is not under "/a").
std::optional<std::string> CopyPathRelativeToBase(std::optional<std::string_view> base,
                                                  std::optional<std::string_view> path);

}  // namespace util
