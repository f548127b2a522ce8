#include "app/browser/ftp/ftp_listing_reader.h"

#include "app/engine/ftp/ftp_list_parser.h"

namespace browser {

FTPListingReader::FTPListingReader(std::int64_t nowUnix) : now_(nowUnix) {}
FTPListingReader::FTPListingReader() : now_(engine::CurrentUnixTime()) {}

bool FTPListingReader::Acceptable(const engine::FTPResource& r) {
  if (r.type != engine::kFTPResourceFile && r.type != engine::kFTPResourceFolder &&
      r.type != engine::kFTPResourceLink)
    return false;
  if (r.name.empty() || r.name == "." || r.name == "..") return false;
  return r.name.find_first_of("/\n\r") == std::string::npos && r.name.find('\0') == std::string::npos;
}

void FTPListingReader::Feed(std::string_view bytes, const EntryFunction& entry) {
  spare_.append(bytes);
  Parse(false, entry);
}

void FTPListingReader::Finish(const EntryFunction& entry) {
  Parse(true, entry);
  spare_.clear();
  offset_ = 0;
}

void FTPListingReader::Parse(bool atEnd, const EntryFunction& entry) {
  while (offset_ < spare_.size()) {
    // Blank line ends between entries.
    while (offset_ < spare_.size() && (spare_[offset_] == '\r' || spare_[offset_] == '\n')) ++offset_;
    if (offset_ >= spare_.size()) break;
    const std::string_view rest(spare_.data() + offset_, spare_.size() - offset_);
    std::optional<engine::FTPResource> resource;
    const std::int64_t used = engine::ParseFTPResourceListing(rest, atEnd, resource, now_);
    if (used > 0) {
      offset_ += static_cast<std::size_t>(used) < rest.size() ? static_cast<std::size_t>(used) : rest.size();
      if (resource && Acceptable(*resource)) entry(std::move(*resource));
      continue;
    }
    if (used == 0) {
      if (rest.size() <= engine::kFTPListingMaxLine) break;
    }
    // Not a listing line, or one too long to be one: skip it to its line break; without
    // one, drop what there is.
    const std::size_t lf = rest.find('\n');
    offset_ = lf == std::string_view::npos ? spare_.size() : offset_ + lf + 1;
  }
  // Keep only the unused rest, moved to the front once per piece rather than per line.
  if (offset_ > 0) {
    spare_.erase(0, offset_);
    offset_ = 0;
  }
}

}  // namespace browser
