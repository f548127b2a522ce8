#pragma once
// What scripts and the when-done check ask of the uploads: queue a file for the
// file-hosting service (the Finder menu's hand-off), and how many uploads run.
//
// The uploads register their implementation at start-up with UploadHandoffServiceSlot::Set().
// Until then no upload can be queued (the hand-off answers false and queues nothing) and
// none runs.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace upload {

class UploadHandoffService {
 public:
  virtual ~UploadHandoffService() = default;
  // Queues an upload of the file to the file-hosting service (host type 8, no user or
  // password); false when it could not be queued.
  virtual bool EnqueueRapidShareFile(const std::string& path) = 0;
  virtual std::int32_t CountActiveUploads() = 0;
};

class NoUploadHandoffService : public UploadHandoffService {
 public:
  bool EnqueueRapidShareFile(const std::string&) override { return false; }
  std::int32_t CountActiveUploads() override { return 0; }
};

using UploadHandoffServiceSlot = runtime::ServiceSlot<UploadHandoffService, NoUploadHandoffService>;

}  // namespace upload
