// The uploads file: a file on disk that a crash may have cut short, another version may
// have written or a person may have edited.

#include "app/upload/queue/uploads_file.h"
#include "platform/values/plist.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto archive = upload::ReadUploadsArchive(std::span<const std::uint8_t>(data, size));
  if (!archive) return 0;
  for (const auto& entry : archive->items) {
    const upload::UploadItem& item = *entry.item;
    // Whatever the file said, a record loads as an item the queue can hold.
    TRUVANE_FUZZ_CHECK(item.type >= 1 && item.type <= 8);
    TRUVANE_FUZZ_CHECK(item.stateValue != upload::kUploadUploading);
    TRUVANE_FUZZ_CHECK(item.bytes >= 0 && item.timeElapsedBeforeTask >= 0);
    // And it is written again as a record that reads back.
    bool wasUploading = false;
    auto again = upload::DecodeUploadItem(upload::EncodeUploadItem(item), wasUploading);
    TRUVANE_FUZZ_CHECK(again && again->uid == item.uid && again->name == item.name && !wasUploading);
  }
  return 0;
}
