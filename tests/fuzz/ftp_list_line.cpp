// One line of an FTP LIST answer, in any of the styles servers use.

#include "app/engine/ftp/ftp_list_parser.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

// A fixed "now" keeps a run repeatable (the year of a UNIX line depends on it).
constexpr std::int64_t kNow = 1700000000;

bool Inside(std::string_view part, std::string_view whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line = fuzz::AsText(data, size);
  engine::FTPListEntry entry;
  if (engine::ParseFTPListLine(entry, line, kNow)) {
    // The entry points into the line it was read from, never past it.
    TRUVANE_FUZZ_CHECK(Inside(entry.name, line));
    TRUVANE_FUZZ_CHECK(Inside(entry.id, line));
    TRUVANE_FUZZ_CHECK(Inside(entry.permissions, line));
    TRUVANE_FUZZ_CHECK(Inside(entry.owner, line));
    TRUVANE_FUZZ_CHECK(Inside(entry.group, line));
    TRUVANE_FUZZ_CHECK(Inside(entry.link_target, line));
    TRUVANE_FUZZ_CHECK(entry.size >= 0);
  }
  return 0;
}
