#include "plugins/browser_plugin/duplicate_table.h"

#include "platform/values/url.h"
#include "platform/values/url_escape.h"

namespace browserplugin {

std::string DuplicateKeyForURL(const std::string& url) {
  const auto parsed = values::Url::Create(url);
  if (!parsed) return url;
  std::string last = parsed->LastPathComponent().value_or("");
  // The root's "last component" is the separator itself: no file name.
  if (last == "/") last.clear();
  std::string query;
  if (auto q = parsed->Query()) query = values::PercentUnescape(*q).value_or(*q);
  if (last.empty() && query.empty()) return url;
  return last + query;
}

bool DuplicateTable::CheckAndAdd(const std::string& key, values::AbsoluteTime now) {
  bool duplicate = false;
  std::size_t i = 0;
  while (i < strings_.size()) {
    if (now - dates_[i] > kDuplicateWindowSeconds) {
      dates_.erase(dates_.begin() + static_cast<std::ptrdiff_t>(i));
      strings_.erase(strings_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (strings_[i] == key) duplicate = true;
    ++i;
  }
  if (!duplicate) {
    dates_.push_back(now);
    strings_.push_back(key);
  }
  return duplicate;
}

}  // namespace browserplugin
