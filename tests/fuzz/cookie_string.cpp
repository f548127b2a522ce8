// Cookie texts handed over by browsers with a download.

#include "app/engine/http/cookie_string.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)engine::ParseCookieString(fuzz::AsText(data, size));
  return 0;
}
