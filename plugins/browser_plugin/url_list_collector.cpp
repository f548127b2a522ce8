#include "plugins/browser_plugin/url_list_collector.h"

namespace browserplugin {

bool UrlListCollector::Append(std::string_view bytes) {
  // Only the tail of the pending text can hold the start of a CR LF cut in two.
  std::size_t from = pending_.empty() ? 0 : pending_.size() - 1;
  pending_.append(bytes);
  std::size_t start = 0;
  for (;;) {
    const std::size_t crlf = pending_.find("\r\n", from);
    if (crlf == std::string::npos) break;
    if (lines_.size() >= kMaxURLs) return false;
    lines_.push_back(pending_.substr(start, crlf - start));
    start = crlf + 2;
    from = start;
  }
  pending_.erase(0, start);
  return pending_.size() <= kMaxPendingBytes;
}

std::vector<std::string> UrlListCollector::Finish() {
  if (!pending_.empty() && lines_.size() < kMaxURLs) lines_.push_back(pending_);
  pending_.clear();
  return std::move(lines_);
}

}  // namespace browserplugin
