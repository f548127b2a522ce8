// What a peer or a stored file can hand the receiving side of the file server: a partial
// package's "fileInfo", the numbers of the reception headers, a sender's file name, and the
// uploads file's list of received files. Whatever arrives: sizes stay sound, a name stays
// one plain entry of the folder, and the list never holds an entry without a uid.
#include <string>

#include "app/sharing/fileserver/transfer_reception.h"
#include "app/sharing/received/partial_received_file.h"
#include "app/sharing/received/received_files.h"
#include "platform/values/plist.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  if (const auto info = sharing::ParsePartialFileInfo(input)) {
    TRUVANE_FUZZ_CHECK(info->dataSize >= 0 && info->rsrcSize >= 0);
    TRUVANE_FUZZ_CHECK(info->downloaded >= 0 && info->downloaded <= info->total());
    TRUVANE_FUZZ_CHECK(info->total() <= sharing::kMaxReceivedFileSize);
    const auto at = sharing::ForkPositionOf(*info, info->downloaded);
    TRUVANE_FUZZ_CHECK(at.offset >= 0);
  }
  const std::string line = input.substr(0, input.find('\n'));
  TRUVANE_FUZZ_CHECK(sharing::ReceptionStartOffset(line) >= -1);
  TRUVANE_FUZZ_CHECK(sharing::ReceptionSizeHeader(line) >= 0);
  TRUVANE_FUZZ_CHECK(sharing::IsPlainPathComponent(sharing::ReceivedFileNameFrom(line)));

  if (auto list = values::ReadPropertyList(input); list.ok()) {
    sharing::UnarchiveReceivedFiles(*list);
    for (const auto& file : sharing::ReceivedFilesCopyArray()) {
      TRUVANE_FUZZ_CHECK(!file->uidString().empty());
      TRUVANE_FUZZ_CHECK(file->status() != sharing::kReceivedFileReceiving);
    }
    sharing::ClearReceivedFilesForTests();
  }
  return 0;
}
