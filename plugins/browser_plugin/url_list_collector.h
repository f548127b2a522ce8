#pragma once
// A stream of type "application/x-url-list" is a text of URLs, one per line, each line
// ended by CR LF. The collector takes the stream's bytes as the browser delivers them, in
// pieces that may cut a line (or its CR LF) anywhere, and keeps each whole line as one
// item. A last line without CR LF is kept too when the stream ends, so no URL of the
// list is lost.
//
// The stream comes from a web server, so it is bounded: a line longer than
// kMaxPendingBytes or a list of more than kMaxURLs lines stops the stream.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace browserplugin {

class UrlListCollector {
 public:
  static constexpr std::size_t kMaxPendingBytes = 1024 * 1024;
  static constexpr std::size_t kMaxURLs = 10000;

  // False when the bytes break a bound (the stream should stop).
  bool Append(std::string_view bytes);
  // The lines collected, with the unterminated rest as a last line when there is one.
  std::vector<std::string> Finish();
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::string pending_;
  std::vector<std::string> lines_;
};

}  // namespace browserplugin
