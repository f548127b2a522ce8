#pragma once
// A reference to an item in the file system, by path.
//
// The references of the other platform followed an item through renames; a path does not.
// Code that must find an item again after someone else moved it keeps an alias record
// (alias.h) beside the reference. A `FileRef` is a small value: an absolute, normalised
// path ("/" or without a trailing slash, no "." or ".." components, no doubled slashes).
// Making one touches nothing on disk; `MakeExistingRef` also checks that the item exists,
// as the platform's path-to-reference call did.

#include <string>
#include <string_view>

#include "platform/files/os_error.h"

namespace files {

class FileRef {
 public:
  FileRef() = default;
  // A relative path is taken relative to the current folder. An empty path gives an empty
  // reference, which refers to nothing.
  explicit FileRef(std::string_view path);

  bool empty() const { return path_.empty(); }
  const std::string& Path() const { return path_; }
  const char* c_str() const { return path_.c_str(); }
  // The last component; "/" for the root.
  std::string Name() const;
  // The folder holding the item; the root is its own parent.
  FileRef Parent() const;
  // The item `name` inside this folder (`name` may hold several components).
  FileRef Child(std::string_view name) const;
  bool IsRoot() const { return path_ == "/"; }
  // True when `other` is this item or lies inside it.
  bool Contains(const FileRef& other) const;

  bool operator==(const FileRef& other) const = default;
  auto operator<=>(const FileRef& other) const = default;

 private:
  std::string path_;
};

// The reference for an existing item; fnfErr when nothing is there (a dangling symbolic
// link counts as existing: it is an item of its folder).
Result<FileRef> MakeExistingRef(std::string_view path);

// A name usable as one path component: not empty, not "." or "..", no "/" or NUL, at most
// 255 bytes. bdNamErr otherwise.
Status ValidateItemName(std::string_view name);

}  // namespace files
