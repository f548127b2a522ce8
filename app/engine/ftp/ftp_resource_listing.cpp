#include "app/engine/ftp/ftp_resource_listing.h"

#include <algorithm>

#include "platform/values/text_encoding.h"

namespace engine {
namespace {

// A name's bytes as text: the command client sends a line feed inside a name as NUL, so
// a NUL that comes back in a listing stands for one.
std::string DecodeName(std::string_view bytes) {
  std::string raw(bytes);
  std::replace(raw.begin(), raw.end(), '\0', '\n');
  return values::DecodeUtf8OrLatin1(raw);
}

int ResourceType(const FTPListEntry& entry) {
  if (!entry.permissions.empty()) {
    switch (entry.permissions[0]) {
      case 'l':
        return kFTPResourceLink;
      case 'd':
        return kFTPResourceFolder;
      case '-':
        return kFTPResourceFile;
      case 'p':
        return 1;
      case 'c':
        return 2;
      case 'b':
        return 6;
      case 's':
        return 12;
      default:
        break;
    }
  }
  if (entry.try_retrieve) return kFTPResourceFile;
  if (entry.try_change_directory) return kFTPResourceFolder;
  return 0;
}

}  // namespace

std::optional<FTPResource> FTPResourceFromListLine(std::string_view line, std::int64_t now_unix) {
  FTPListEntry entry;
  if (!ParseFTPListLine(entry, line, now_unix)) return std::nullopt;
  FTPResource resource;
  resource.name = DecodeName(entry.name);
  resource.type = ResourceType(entry);
  if (entry.size_type == 1) resource.size = entry.size;
  if (entry.time_type != 0) {
    resource.modified = values::Date{static_cast<double>(entry.time) - values::kSecondsFrom1970To2001};
  }
  resource.owner = DecodeName(entry.owner);
  resource.group = DecodeName(entry.group);
  if (const int mode = FTPModeFromPermissions(entry.permissions); mode >= 0) resource.mode = mode;
  resource.link = DecodeName(entry.link_target);
  return resource;
}

std::int64_t ParseFTPResourceListing(std::string_view bytes, bool at_end,
                                     std::optional<FTPResource>& resource) {
  return ParseFTPResourceListing(bytes, at_end, resource, CurrentUnixTime());
}

std::int64_t ParseFTPResourceListing(std::string_view bytes, bool at_end,
                                     std::optional<FTPResource>& resource, std::int64_t now_unix) {
  resource.reset();
  const std::size_t line_end = bytes.find_first_of("\r\n");
  std::size_t used = 0;
  if (line_end == std::string_view::npos) {
    if (bytes.size() > kFTPListingMaxLine) return -1;
    if (!at_end || bytes.empty()) return 0;
    used = bytes.size();
  } else if (bytes[line_end] == '\r') {
    if (line_end + 1 == bytes.size() && !at_end) return 0;  // the LF may be on its way
    used = line_end + ((line_end + 1 < bytes.size() && bytes[line_end + 1] == '\n') ? 2 : 1);
  } else {
    used = line_end + 1;
  }
  if (line_end != std::string_view::npos && line_end > kFTPListingMaxLine) return -1;
  const std::string_view line = bytes.substr(0, std::min(line_end, bytes.size()));
  resource = FTPResourceFromListLine(line, now_unix);
  return static_cast<std::int64_t>(used);
}

}  // namespace engine
