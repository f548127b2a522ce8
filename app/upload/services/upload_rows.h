#pragma once
// What the main list reads of the uploads for the rows of My Uploads: each upload's
// file, progress, times and destination, and the list of all uploads.
//
// The uploads register their implementation at start-up; until they are built the
// default knows no upload, so My Uploads lists nothing.
//
// Main thread only.

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace upload {

// Upload states.
inline constexpr std::int32_t kUploadWaiting = 16;
inline constexpr std::int32_t kUploadUploading = 32;
inline constexpr std::int32_t kUploadFinished = 64;

class UploadRow {
 public:
  virtual ~UploadRow() = default;
  virtual std::string fileName() const = 0;
  virtual std::int64_t fileSize() const = 0;
  virtual std::int64_t bytesTransferred() const = 0;
  virtual float speed() const = 0;  // KB/s; below 0 while unknown
  virtual std::int32_t state() const = 0;
  virtual std::uint32_t waitingIndex() const = 0;
  virtual double totalElapsed() const = 0;  // seconds
  virtual double startTime() const = 0;     // absolute time; NaN when none
  virtual double endTime() const = 0;       // absolute time; NaN when none
  virtual std::optional<std::string> localPath() const = 0;
  virtual std::int32_t completionCount() const = 0;
  virtual std::optional<std::string> user() const = 0;
  virtual std::optional<std::string> host() const = 0;
  virtual std::int32_t hostType() const = 0;  // 5: iDisk
  virtual std::optional<std::string> destinationPath() const = 0;
  // Whether the row stays under the search text (the list's own filter rule).
  virtual bool MatchesListFilter(const std::string& text) const = 0;
};

using UploadRowRef = std::shared_ptr<UploadRow>;

class UploadRowsService {
 public:
  virtual ~UploadRowsService() = default;
  virtual std::vector<UploadRowRef> CopyAllUploadItems() = 0;
  // Looks again for each upload's local file.
  virtual void CheckUploadFiles() = 0;
};

class NoUploadRows : public UploadRowsService {
 public:
  std::vector<UploadRowRef> CopyAllUploadItems() override { return {}; }
  void CheckUploadFiles() override {}
};

using UploadRowsServiceSlot = runtime::ServiceSlot<UploadRowsService, NoUploadRows>;

}  // namespace upload
