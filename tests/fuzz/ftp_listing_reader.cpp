// The FTP browser's listing reader fed a LIST data connection in pieces: every entry it
// gives is one a folder tree may hold, the pieces change nothing, and what it keeps
// between pieces stays bounded.

#include <string>
#include <vector>

#include "app/browser/ftp/ftp_listing_reader.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

constexpr std::int64_t kNow = 1700000000;

std::vector<std::string> Read(std::string_view input, std::size_t piece) {
  browser::FTPListingReader reader(kNow);
  std::vector<std::string> names;
  auto add = [&](engine::FTPResource&& r) {
    TRUVANE_FUZZ_CHECK(browser::FTPListingReader::Acceptable(r));
    names.push_back(r.name);
  };
  while (!input.empty()) {
    const std::size_t n = std::min(piece, input.size());
    reader.Feed(input.substr(0, n), add);
    input.remove_prefix(n);
    TRUVANE_FUZZ_CHECK(reader.Pending() <= engine::kFTPListingMaxLine + piece);
  }
  reader.Finish(add);
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  const std::vector<std::string> whole = Read(text, text.size() + 1);
  for (std::size_t piece : fuzz::kPieceSizes) TRUVANE_FUZZ_CHECK(Read(text, piece) == whole);
  return 0;
}
