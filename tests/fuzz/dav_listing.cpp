// Folder listings of the remote browser: whatever a WebDAV server (or something posing as
// one) answers to PROPFIND.

#include <string_view>

#include "app/browser/webdav/dav_listing.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  for (std::string_view root : {std::string_view(), std::string_view("/dav")}) {
    const browser::PropFindParse parsed = browser::ParsePropFindListing(body, root, "/dir/");
    if (!parsed.ok) TRUVANE_FUZZ_CHECK(parsed.entries.empty());
    for (const auto& entry : parsed.entries) {
      TRUVANE_FUZZ_CHECK(!entry.uri.ends_with('/'));
      TRUVANE_FUZZ_CHECK(entry.uri != "/dir");
    }
  }
  return 0;
}
