#pragma once
// The destination table: what the engine calls for each host type. FTP (1), FTPS (4), other
// copies (2, 3), the online disk (5) and WebDAV (6, 7) are built; a destination without an entry answers that
// its step cannot start, so its upload ends as failed with a log line saying why.

#include <cstdint>

#include "app/upload/engine/upload_record.h"

namespace upload {

struct UploadDestination {
  // Opens the connection or request of the step due: kStepUnderWay, kStepNothingLeft or
  // kStepCannotStart (the record then holds the end code).
  int (*step)(UploadRecord& r) = nullptr;
  void (*applyAnswer)(UploadRecord& r, std::int32_t answer) = nullptr;
  // The progress timer's nudge for a sender that the stream stopped calling.
  void (*restartStalledSender)(UploadRecord& r) = nullptr;
};

// Null when the host type has no built family.
const UploadDestination* FindUploadDestination(std::int32_t hostType);

}  // namespace upload
