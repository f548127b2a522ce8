// The text of the "addurl" service as another program hands it over: any bytes. Every
// line the service keeps is trimmed, longer than one character and holds no line break.

#include <string>

#include "app/shell/application_services.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(fuzz::AsText(data, size));
  for (const std::string& line : shell::ServiceURLLines(text)) {
    if (line.size() <= 1 || line.size() > text.size()) std::abort();
    if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) std::abort();
    if (line.front() == ' ' || line.back() == ' ' || line.front() == '\t' || line.back() == '\t')
      std::abort();
  }
  return 0;
}
