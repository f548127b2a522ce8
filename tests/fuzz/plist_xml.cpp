// XML property lists: stored preferences and queue files, and files handed over by other
// programs.

#include "platform/values/plist_xml.h"
#include "platform/values/plist.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto result = values::ReadXmlPropertyList(fuzz::AsText(data, size));
  // Whatever was read can be written again in either encoding without a fault.
  if (result.ok()) {
    (void)values::WritePropertyList(result.value(), values::PlistFormat::kBinary);
    (void)values::WritePropertyList(result.value(), values::PlistFormat::kXml);
  }
  return 0;
}
