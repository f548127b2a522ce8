// Smart-folder rules as the queue file stores them (keyed archives): the queue file may
// have been damaged or written by someone else.

#include "app/queue/smartfolders/search_predicate.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const values::Bytes bytes(data, data + size);
  const auto rule = queue::UnarchivePredicate(bytes);
  // A rule that was read archives again and reads back equal.
  if (rule) {
    const auto again = queue::UnarchivePredicate(queue::ArchivePredicate(*rule));
    TRUVANE_FUZZ_CHECK(again && again->Equals(*rule));
  }
  return 0;
}
