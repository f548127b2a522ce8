// Binary property lists ("bplist00"): files that may come from anywhere.

#include <span>

#include "platform/values/plist.h"
#include "platform/values/plist_binary.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto result = values::ReadBinaryPropertyList(std::span<const std::uint8_t>(data, size));
  // A value the reader accepted is one the writer can store again, and reads back alike.
  if (result.ok()) {
    const auto written = values::WritePropertyList(result.value(), values::PlistFormat::kBinary);
    if (written.ok()) {
      const auto again = values::ReadBinaryPropertyList(written.value());
      TRUVANE_FUZZ_CHECK(again.ok());
    }
  }
  return 0;
}
