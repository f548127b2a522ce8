// A whole LIST data connection read entry by entry, its bytes arriving in pieces.

#include <optional>
#include <string>

#include "app/engine/ftp/ftp_resource_listing.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

constexpr std::int64_t kNow = 1700000000;

void ReadListing(std::string_view input, std::size_t piece) {
  std::string pending;
  std::optional<engine::FTPResource> resource;
  while (true) {
    const bool at_end = input.empty();
    const std::int64_t used = engine::ParseFTPResourceListing(pending, at_end, resource, kNow);
    if (used < 0) break;
    if (used > 0) {
      TRUVANE_FUZZ_CHECK(static_cast<std::size_t>(used) <= pending.size());
      pending.erase(0, static_cast<std::size_t>(used));
      continue;
    }
    if (at_end) {
      // At the end every byte is a line of its own or nothing: none may be left over.
      TRUVANE_FUZZ_CHECK(pending.empty());
      break;
    }
    const std::size_t n = std::min(piece, input.size());
    pending.append(input.substr(0, n));
    input.remove_prefix(n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (std::size_t piece : fuzz::kPieceSizes) ReadListing(fuzz::AsText(data, size), piece);
  return 0;
}
