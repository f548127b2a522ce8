#pragma once
// The name under which lists and menus show a URL.

#include <string>

#include "platform/values/url.h"

namespace util {

// The URL's last path component (unescaped); when that cannot be read, the text after
// the last "/" of its path (the whole path when it has no "/"); "" without a path.
std::string CopyURLDisplayName(const values::Url& url);

}  // namespace util
