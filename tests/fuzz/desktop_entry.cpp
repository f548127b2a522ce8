// Application entries (.desktop files) of other packages, read for the "Open With" menus,
// and the command lines made from them.

#include <string>

#include "platform/toolbox/services/open_with.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto app = toolbox::ParseDesktopEntry(fuzz::AsText(data, size), "fuzz.desktop");
  if (!app) return 0;
  TRUVANE_FUZZ_CHECK(!app->name.empty() && !app->exec.empty());
  const auto argv = toolbox::LaunchArguments(*app, "/tmp/file name.txt");
  for (const auto& word : argv) TRUVANE_FUZZ_CHECK(!word.empty());
  return 0;
}
