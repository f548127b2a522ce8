// The file-transfer server's reader of a request head, fed in pieces of several sizes:
// whatever arrives, it stays within its bounds and answers the same however the bytes are
// cut.
#include <optional>
#include <string>

#include "app/sharing/fileserver/transfer_request_head.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

constexpr std::size_t kPieceSizes[] = {1, 7, 4096, 1 << 20};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::optional<sharing::TransferRequestHead::Status> first;
  std::string target;
  for (std::size_t piece : kPieceSizes) {
    sharing::TransferRequestHead head;
    std::size_t at = 0;
    while (at < input.size() && head.status() == sharing::TransferRequestHead::Status::kIncomplete) {
      const std::string_view bytes = input.substr(at, piece);
      const std::size_t taken = head.Append(bytes);
      TRUVANE_FUZZ_CHECK(taken <= bytes.size());
      at += bytes.size();
    }
    TRUVANE_FUZZ_CHECK(head.target().size() <= sharing::kMaxTransferHeadBytes);
    (void)head.Header("Authorization");
    if (!first) {
      first = head.status();
      target = head.target();
    } else {
      TRUVANE_FUZZ_CHECK(*first == head.status() && target == head.target());
    }
  }
  return 0;
}
