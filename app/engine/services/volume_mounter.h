#pragma once
// Mounting a file server's volume for a download ("afp" URLs), as an interface.
//
// A download of afp://host/Volume/folder/file mounts the server volume "Volume" and reads
// the file from the mounted folder. The mounter answers asynchronously: MountServerVolume
// returns at once with a mount in progress (or a status when it fails at once), and its
// completion runs later on the loop given, never inside the call. Dropping the mount
// cancels it while it runs and unmounts the volume once it is mounted.
//
// Statuses: 0 mounted; kVolumeMountCancelled the user cancelled; kVolumeMountNeedsAuth
// the server wants other credentials; any other value is a failure, kept as the
// download's error in the Mac OS status domain.
//
// This system has no AFP client, so the default mounter fails every mount at once with
// kVolumeMountUnsupported. A mounter that can (a GIO/GVfs one, or a fake in tests that
// maps volumes to local folders) is installed with VolumeMounterSlot::Set.

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"
#include "platform/values/url.h"

namespace runtime {
class RunLoop;
}

namespace engine {

inline constexpr int kVolumeMountCancelled = -128;
inline constexpr int kVolumeMountNeedsAuth = -5023;
// "Unimplemented": no AFP client on this system.
inline constexpr int kVolumeMountUnsupported = -4;

class VolumeMount {
 public:
  virtual ~VolumeMount() = default;
  // The local folder of the volume's root once mounted; empty before, or when it cannot
  // be found.
  virtual std::string RootPath() const = 0;
  // A number for logs (the volume's reference).
  virtual int VolumeId() const { return 0; }
};

class VolumeMounter {
 public:
  using Completion = std::function<void(int status)>;
  virtual ~VolumeMounter() = default;
  // `url` names the server and, as its first path component, the volume. Null with
  // `status` set when the mount fails at once.
  virtual std::unique_ptr<VolumeMount> MountServerVolume(const values::Url& url, const std::string& user,
                                                         const std::string& password,
                                                         std::shared_ptr<runtime::RunLoop> loop,
                                                         Completion done, int& status) = 0;
};

class UnsupportedVolumeMounter final : public VolumeMounter {
 public:
  std::unique_ptr<VolumeMount> MountServerVolume(const values::Url&, const std::string&, const std::string&,
                                                 std::shared_ptr<runtime::RunLoop>, Completion,
                                                 int& status) override {
    status = kVolumeMountUnsupported;
    return nullptr;
  }
};

// Set at start-up (or by a test) before any download runs; read by download tasks.
using VolumeMounterSlot = runtime::ServiceSlot<VolumeMounter, UnsupportedVolumeMounter>;

}  // namespace engine
