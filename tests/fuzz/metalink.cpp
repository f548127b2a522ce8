// Metalink documents: a downloaded ".metalink" is read without the user asking, so every
// byte may come from a hostile server.

#include "app/queue/metalink/metalink.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<queue::MetalinkError> error;
  const auto metalink = queue::TRMetalink::metalinkWithData(fuzz::AsText(data, size), error);
  // Either a metalink or an error, never both or neither.
  TRUVANE_FUZZ_CHECK((metalink != nullptr) != error.has_value());
  if (metalink) {
    TRUVANE_FUZZ_CHECK(!metalink->files().empty());
    for (const auto& file : metalink->files()) {
      TRUVANE_FUZZ_CHECK(!file.urls().empty());
      // A name is a plain file name, never a path.
      TRUVANE_FUZZ_CHECK(file.fileName().find('/') == std::string::npos);
      TRUVANE_FUZZ_CHECK(file.fileName() != "." && file.fileName() != "..");
    }
  }
  return 0;
}
