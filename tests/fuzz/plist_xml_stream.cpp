// XML property lists read piece by piece (the queue file): the same input, fed in pieces
// whose sizes the input's first byte chooses.

#include "platform/values/plist_xml_stream.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  const std::size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
  values::XmlPlistStreamReader reader([](const std::string&, values::Value&&, std::string&) { return true; });
  for (std::size_t at = 0; at < text.size(); at += piece) {
    if (!reader.Feed(text.substr(at, piece))) break;
  }
  (void)reader.Finish();
  return 0;
}
