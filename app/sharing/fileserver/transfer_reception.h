#pragma once
// The receiving half of the file-transfer server: a peer asks "uploadStatus" for a file
// (creating its partial package, or learning how much of it is here), then POSTs the rest of
// the stream from that offset. The bytes go into the package (partial_received_file.h);
// the last one completes the file into the sender's folder of the received-files folder.
//
// Refused with the server's canned replies: a user that may not send (403), too many
// receptions (421), an unknown package (404), a start past the bytes held or a file or
// body larger than the disk's free space, a package that cannot be made or opened (500),
// a missing or bad session key (499). Progress goes to the main thread as 'S_se' events;
// a cancel from the main thread or the server's stop sends the peer the abort marker and
// keeps the package for a resume.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/sharing/fileserver/transfer_cancel_source.h"
#include "app/sharing/fileserver/transfer_connection.h"
#include "app/sharing/fileserver/transfer_send_limiter.h"
#include "app/util/settings/settings_store.h"

namespace sharing {

inline constexpr char kTransferAbortMarker[] =
    "--**ABORT**--\r\nThe server copy of Truvane has aborted this transfer";

struct ReceptionCounters {
  std::mutex mutex;  // the upload-servers region
  std::int32_t running = 0;
  std::uint32_t nextID = 1000000000;
  // The cancel sources of the receptions running now. The received-files list learns of a
  // reception only when the main thread takes its start event, which it no longer does
  // while the program quits: the server cancels them itself then.
  std::vector<std::weak_ptr<TransferCancelSource>> cancels;
  bool cancelled = false;  // every reception, and those that start from now on
};

// Signals the cancel of every running reception and of any that starts later.
void CancelAllReceptions(ReceptionCounters& counters);

struct ReceptionRequest {
  TransferWire& wire;
  const TransferRequestHead& head;
  const TransferLogin& login;
  const std::string& host;
  const std::string& publicKey;
};

void AnswerUploadStatus(const ReceptionRequest& request);
// `limiter` limits receptions while "server in Bandwidth settings" is on; `limiterRate` is
// the rate last given to it.
void ReceiveFile(const ReceptionRequest& request, ReceptionCounters& counters, TransferSendLimiter& limiter,
                 std::atomic<std::int64_t>& limiterRate);

// The start offset of a POST's "Content-Range" (its leading decimal number); 0 when absent
// or unreadable, -1 when negative.
std::int64_t ReceptionStartOffset(const std::string& contentRange);
// A decimal size header ("X-Tr-Filesize"...): 0 when missing, bad or negative.
std::int64_t ReceptionSizeHeader(const std::optional<std::string>& text);

}  // namespace sharing
