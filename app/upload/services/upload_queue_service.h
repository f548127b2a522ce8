#pragma once
// What the download queue's commands and the undo manager ask of the uploads: the queue
// switch's requeue, rates, the commands on the uploads list's selection, and the steps
// that put a removed upload back.
//
// An upload is handed around as an opaque shared handle: the uploads subsystem makes it
// and alone knows its type; the undo manager only keeps it alive and passes it back.
//
// The uploads register their implementation at start-up with UploadQueueServiceSlot::Set().
// Until then the default knows no upload: nothing runs, waits or is selected.
//
// Main thread only.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace upload {

using UploadHandle = std::shared_ptr<void>;

class UploadQueueService {
 public:
  virtual ~UploadQueueService() = default;

  // Every running upload is cancelled and put back into the waiting order.
  virtual void RequeueActiveUploads() = 0;
  // The sum of the running uploads' rates, bytes per second.
  virtual float SumActiveUploadRates() = 0;
  // Removes the uploads whose file is gone; true when it removed any.
  virtual bool DeleteUploadsWithNoFile() = 0;
  // The upload queue changed and must be saved (it also holds the received files).
  virtual void MarkUploadsChanged() = 0;

  // Commands on the uploads list's selection. Removal asks its own confirmation and
  // registers the undo of each removed upload; it answers how many it removed.
  virtual void QueueSelectedUploads() = 0;
  virtual void HoldSelectedUploads() = 0;
  virtual void StopSelectedUploads() = 0;
  virtual void StartSelectedUploads() = 0;
  virtual std::size_t RemoveSelectedUploads(bool undoable) = 0;

  // Putting a removed upload back: appended to the waiting order and listed again.
  virtual void AddToQueue(const UploadHandle& upload) = 0;
  virtual void SelectUploadRow(const UploadHandle& upload) = 0;
  virtual std::size_t WaitingCount() = 0;
  virtual void RemoveFromWaitingOrder(const UploadHandle& upload) = 0;
  // index <= WaitingCount(); WaitingCount() appends.
  virtual void InsertIntoWaitingOrder(const UploadHandle& upload, std::size_t index) = 0;
  // The upload's file, found again through its alias; nothing when it is gone.
  virtual std::optional<std::string> ResolveFilePath(const UploadHandle& upload) = 0;
  // The upload takes its file's current place as its location.
  virtual void UpdateLocation(const UploadHandle& upload) = 0;
};

class NoUploadQueueService : public UploadQueueService {
 public:
  void RequeueActiveUploads() override {}
  float SumActiveUploadRates() override { return 0; }
  bool DeleteUploadsWithNoFile() override { return false; }
  void MarkUploadsChanged() override {}
  void QueueSelectedUploads() override {}
  void HoldSelectedUploads() override {}
  void StopSelectedUploads() override {}
  void StartSelectedUploads() override {}
  std::size_t RemoveSelectedUploads(bool) override { return 0; }
  void AddToQueue(const UploadHandle&) override {}
  void SelectUploadRow(const UploadHandle&) override {}
  std::size_t WaitingCount() override { return 0; }
  void RemoveFromWaitingOrder(const UploadHandle&) override {}
  void InsertIntoWaitingOrder(const UploadHandle&, std::size_t) override {}
  std::optional<std::string> ResolveFilePath(const UploadHandle&) override { return std::nullopt; }
  void UpdateLocation(const UploadHandle&) override {}
};

using UploadQueueServiceSlot = runtime::ServiceSlot<UploadQueueService, NoUploadQueueService>;

}  // namespace upload
