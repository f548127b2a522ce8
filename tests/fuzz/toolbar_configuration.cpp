// A toolbar's saved arrangement as the preferences file gives it: any property list. Nothing
// may crash, no more entries than the bound come back, only allowed identifiers, and what
// is read is written back and read again unchanged.

#include <algorithm>
#include <string>
#include <vector>

#include "platform/toolbox/toolbar/toolbar.h"
#include "platform/values/plist.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto value = values::ReadPropertyList(values::Bytes(data, data + size));
  if (!value.ok()) return 0;
  const std::vector<std::string> allowed = {"a.Add", "a.Stop", "a.Search",
                                            toolbox::kToolbarSeparatorIdentifier};
  const auto read = toolbox::ReadToolbarConfiguration(*value, allowed);
  if (!read) return 0;
  TRUVANE_FUZZ_CHECK(read->size() <= toolbox::kMaximumSavedToolbarItems);
  for (const auto& item : *read)
    TRUVANE_FUZZ_CHECK(std::find(allowed.begin(), allowed.end(), item.identifier) != allowed.end());
  const auto again = toolbox::ReadToolbarConfiguration(toolbox::WriteToolbarConfiguration(*read), allowed);
  TRUVANE_FUZZ_CHECK(again && *again == *read);
  return 0;
}
