#pragma once
// The two readers of WebDAV PROPFIND replies (a "DAV:" multistatus document) that the
// WebDAV and online-disk uploads use: the facts of one resource, and the files of a
// listing.
//
// Replies come from the network: a reply over kMaxPropfindReplySize, one that is not XML,
// or one with a document type declaration (entities could make it grow without bound)
// reads as nothing.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/values/value.h"

namespace upload {

inline constexpr std::size_t kMaxPropfindReplySize = std::size_t{8} << 20;

struct DAVFileInfo {
  std::optional<values::Date> lastModified;  // the first getlastmodified, as an HTTP date
  std::int64_t contentLength = 0;            // the first getcontentlength; 0 when none
};

DAVFileInfo ParseDAVFileInfo(std::span<const std::uint8_t> reply);

// The href of every response with a propstat of status "HTTP/1.1 200 OK" whose prop has
// a getcontentlength above 0 (files, not collections), percent escapes decoded as UTF-8.
std::vector<std::string> ParseDAVHrefs(std::span<const std::uint8_t> reply);

}  // namespace upload
