#pragma once
// Extended attributes in the user.* namespace: the metadata that travels with a file
// (its comment, the address it came from, the program's own flags).
//
// Only names beginning with "user." are accepted (paramErr otherwise): other namespaces
// need privileges or mean something to the kernel. File systems without user attributes
// (some network and FAT file systems, older tmpfs) answer unimpErr (`IsUnsupported()`), which
// callers treat as "nothing stored" rather than as a failure. A missing attribute is fnfErr
// with ENODATA. Symbolic links are not followed: an attribute belongs to the item named.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/values/value.h"

namespace files {

// The names that desktop file managers and browsers on this system read and write.
inline constexpr const char kCommentAttribute[] = "user.xdg.comment";
inline constexpr const char kOriginURLAttribute[] = "user.xdg.origin.url";

Result<values::Bytes> GetAttribute(const FileRef& item, std::string_view name);
Status SetAttribute(const FileRef& item, std::string_view name, std::span<const std::uint8_t> value);
Status RemoveAttribute(const FileRef& item, std::string_view name);
// The user.* names the item carries (others are left out), in the file system's order.
Result<std::vector<std::string>> ListAttributes(const FileRef& item);

// Text values (comments, URLs) are stored as UTF-8 without a terminating NUL.
Result<std::string> GetStringAttribute(const FileRef& item, std::string_view name);
Status SetStringAttribute(const FileRef& item, std::string_view name, std::string_view value);

bool IsAttributeMissing(const Status& status);

}  // namespace files
