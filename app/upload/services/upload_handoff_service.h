#pragma once
// What scripts and the when-done check ask of the uploads: queue a file for the
// file-hosting service (the Finder menu's hand-off), and how many uploads run.
//
// The uploads register their implementation at start-up with SetUploadHandoffService().
// Until then no upload can be queued (the hand-off answers false and queues nothing) and
// none runs.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

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

inline std::unique_ptr<UploadHandoffService>& UploadHandoffServiceSlot() {
  static std::unique_ptr<UploadHandoffService> service = std::make_unique<NoUploadHandoffService>();
  return service;
}
inline UploadHandoffService& GetUploadHandoffService() {
  return *UploadHandoffServiceSlot();
}
// Installs `service` (the default when null) and returns the previous one.
inline std::unique_ptr<UploadHandoffService> SetUploadHandoffService(
    std::unique_ptr<UploadHandoffService> service) {
  if (!service) service = std::make_unique<NoUploadHandoffService>();
  return std::exchange(UploadHandoffServiceSlot(), std::move(service));
}

}  // namespace upload
