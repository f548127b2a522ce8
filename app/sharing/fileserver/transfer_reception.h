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
#include <mutex>
#include <optional>
#include <string>

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
};

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
