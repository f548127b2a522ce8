// PROPFIND replies: whatever a WebDAV server (or something posing as one) sends back.

#include "app/upload/contexts/propfind_readers.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> reply(data, size);
  const upload::DAVFileInfo info = upload::ParseDAVFileInfo(reply);
  if (info.lastModified) TRUVANE_FUZZ_CHECK(info.lastModified->seconds == info.lastModified->seconds);
  for (const std::string& href : upload::ParseDAVHrefs(reply)) TRUVANE_FUZZ_CHECK(href.size() <= size);
  return 0;
}
