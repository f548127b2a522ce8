// Resource files such as the browser plug-in's type resource: read by the browser side
// from a file any program of the user may have written.

#include <string>

#include "platform/files/resource_file.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto resources = files::ParseResourceFile(fuzz::AsText(data, size));
  if (!resources) return 0;
  for (const files::Resource& r : *resources) {
    if (r.type == files::kStringListType) (void)files::ParseStringList(r.data);
  }
  // What was read writes again and reads back the same (within what the map's 16- and
  // 24-bit offsets can address, which a file read here may exceed).
  std::size_t bytes = 0;
  for (const files::Resource& r : *resources) bytes += r.data.size() + 4;
  if (resources->size() > 1000 || bytes > 1024 * 1024) return 0;
  const auto again = files::ParseResourceFile(files::BuildResourceFile(*resources));
  TRUVANE_FUZZ_CHECK(again.has_value() && again->size() == resources->size());
  return 0;
}
