// The ranges file of a partial download: a file on disk that a crash may have cut short
// or a person may have edited.

#include "app/engine/task/resume_file.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

void ReadRanges(std::string_view text, std::int64_t total) {
  engine::RangeList list;
  engine::ParseRangesFile(text, total, list);
  // Whatever the file said, the done list keeps its invariant: sorted, every range
  // longer than 0, none overlapping or touching, none past a known size.
  for (std::size_t i = 0; i < list.size(); ++i) {
    const engine::LongRange& r = list[i];
    TRUVANE_FUZZ_CHECK(r.location >= 0 && r.length > 0);
    TRUVANE_FUZZ_CHECK(r.length <= INT64_MAX - r.location);
    if (total >= 0) TRUVANE_FUZZ_CHECK(r.location + r.length <= total);
    if (i > 0) TRUVANE_FUZZ_CHECK(list[i - 1].location + list[i - 1].length < r.location);
  }
  // And what is written reads back as the same list.
  engine::RangeList again;
  engine::ParseRangesFile(engine::FormatRangesFile(list), total, again);
  TRUVANE_FUZZ_CHECK(again.size() == list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    TRUVANE_FUZZ_CHECK(again[i].location == list[i].location && again[i].length == list[i].length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  ReadRanges(text, -1);    // the download's size not known yet
  ReadRanges(text, 1000);  // a small known size: most ranges cut or dropped
  ReadRanges(text, std::int64_t{1} << 40);
  return 0;
}
