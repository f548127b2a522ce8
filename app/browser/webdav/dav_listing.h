#pragma once
// The entries of a WebDAV folder listing, read from the "DAV:" multistatus document a
// server answers to PROPFIND with "Depth: 1", and the element look-ups that reading uses.
//
// An entry is what the online-disk layer lists too (kDMURI, kDMLastModified,
// kDMIsCollection, kDMContentLength): a path relative to the connection's root path,
// unescaped, without a trailing "/". The listed folder's own response is left out, and so
// is every href that does not lie under the root path: a server naming other places must
// not make the tree show them as if they were below the folder.
//
// The document comes from the network: one over kMaxMultistatusSize, one that is not
// well-formed XML, or one carrying a document type declaration (entities could make it
// grow, or reach for other files) is refused as a parse failure. Nothing is fetched.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/clock.h"

namespace pugi {
class xml_node;
}

namespace browser {

inline constexpr std::size_t kMaxMultistatusSize = std::size_t{16} << 20;
inline constexpr const char* kDAVNamespaceURI = "DAV:";

struct DMListingEntry {
  std::string uri;                                   // kDMURI
  std::optional<values::AbsoluteTime> lastModified;  // kDMLastModified
  bool isCollection = false;                         // kDMIsCollection
  std::optional<std::int64_t> contentLength;         // kDMContentLength
  bool operator==(const DMListingEntry&) const = default;
};

// Look-ups in a multistatus document. Element names are compared by local name and the
// namespace their prefix is declared for, so "D:href", "x0:href" and an unprefixed href
// under a default "DAV:" namespace are the same element.
class TRXMLUtils {
 public:
  static pugi::xml_node firstElementForName(const pugi::xml_node& element, std::string_view name);
  static pugi::xml_node firstElementForName(const pugi::xml_node& element, std::string_view localName,
                                            std::string_view uri);
  static std::optional<std::string> responseHref(const pugi::xml_node& response);
  // "HTTP/1.1 200 OK" gives 200: the number from character 9 on; 0 when shorter than 11.
  static int propstatStatus(const pugi::xml_node& propstat);
  static bool compareElement(const pugi::xml_node& node, std::string_view localName, std::string_view uri);
  // The node's own text and CDATA children (the values read here hold no elements; not
  // descending keeps a deeply nested reply from exhausting the stack).
  static std::string stringValue(const pugi::xml_node& node);
};

struct PropFindParse {
  bool ok = false;
  int errorCode = 0;  // the parser's status when not ok
  std::vector<DMListingEntry> entries;
};

// `rootPath` begins with "/" and does not end with it ("" for the server root); `listedPath`
// is the listed folder's path relative to it.
PropFindParse ParsePropFindListing(std::string_view body, std::string_view rootPath,
                                   std::string_view listedPath);

}  // namespace browser
