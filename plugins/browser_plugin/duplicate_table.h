#pragma once
// The browser asks the plug-in for the same file twice when a page is reloaded or a link
// clicked again right after the hand-off; the second request is recognised for 45
// seconds and not handed off again.
//
// A request is keyed by the last path component of its URL followed by its query (both
// unescaped), so the same file from a mirror counts as the same request; a URL with
// neither, or not a valid URL, is keyed by its whole text. Entries older than the window
// are dropped while a later request is compared with the table; an entry exactly 45
// seconds old still counts.

#include <string>
#include <vector>

#include "platform/values/clock.h"

namespace browserplugin {

inline constexpr double kDuplicateWindowSeconds = 45.0;

std::string DuplicateKeyForURL(const std::string& url);

class DuplicateTable {
 public:
  // True when `key` is in the table (a duplicate, not added again); otherwise the key is
  // added with `now` and the answer is false.
  bool CheckAndAdd(const std::string& key, values::AbsoluteTime now);
  std::size_t size() const { return strings_.size(); }

 private:
  // Two parallel arrays, as the plug-in keeps them: "dates" and "strings".
  std::vector<values::AbsoluteTime> dates_;
  std::vector<std::string> strings_;
};

}  // namespace browserplugin
