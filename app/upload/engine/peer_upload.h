#pragma once
// Uploads to another copy (host types 2 and 3) through its file server: step 1 asks
// "uploadStatus" how much of the file the receiver holds (creating its partial package),
// step 2 POSTs the rest from there, enciphered with a session key made under the
// receiver's public key when it has one (checked by the host key policy), else only when
// the policy allows the host unenciphered. Digest challenges (401) and requests for a key
// (499) are answered by asking again; a busy receiver (421) and a dropped connection are
// retried later; the receiver's abort marker ends the upload as aborted by it.
//
// One request per connection, read with a bounded head (net::HttpHeadParser); only the
// status line and the headers of the reply matter, and at most a small tail of the POST's
// reply is read while the body goes out.

#include <cstdint>
#include <optional>
#include <string>

#include "app/upload/engine/upload_record.h"

namespace upload {

inline constexpr char kPeerAbortMarker[] = "--**ABORT**--";
inline constexpr std::size_t kMaxPeerReplyHead = 16384;

int PeerUploadStep(UploadRecord& r);
void ClosePeerConnection(PeerConnection& c);

// The receiver's offset of an "X-Content-Range" of the form "0-N[/...]": N (0 when negative
// or longer than 31 bytes); nothing when the text is of another form.
std::optional<std::int64_t> PeerResumeOffset(const std::string& contentRange);
// The file name as it is sent: without line feeds and carriage returns.
std::string PeerFileName(const std::string& name);

}  // namespace upload
