#pragma once
// The received files' part of the uploads file ("received files"): peer sharing keeps
// its list of files received from other copies in the uploads file.
//
// Peer sharing registers its implementation with ReceivedFilesArchiveSlot::Set(). Until
// then the default keeps what the last load read and hands it back to the next save, so
// that the records are never lost while the list has no owner.
//
// Main thread only.

#include <memory>
#include <utility>

#include "platform/runtime/service_slot.h"
#include "platform/values/value.h"

namespace upload {

class ReceivedFilesArchive {
 public:
  virtual ~ReceivedFilesArchive() = default;
  // The list as the file keeps it (an array); null to leave the key out.
  virtual values::Value CopyReceivedFiles() = 0;
  // The list the file held (null when it held none).
  virtual void SetReceivedFiles(const values::Value& files) = 0;
};

class KeptReceivedFilesArchive : public ReceivedFilesArchive {
 public:
  values::Value CopyReceivedFiles() override { return kept_; }
  void SetReceivedFiles(const values::Value& files) override { kept_ = files; }

 private:
  values::Value kept_;
};

using ReceivedFilesArchiveSlot = runtime::ServiceSlot<ReceivedFilesArchive, KeptReceivedFilesArchive>;

}  // namespace upload
