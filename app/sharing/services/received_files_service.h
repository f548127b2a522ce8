#pragma once
// What the settings store asks of peer sharing: the received-files folder, resolved from
// the incoming-folder alias (settings_store.h) inside the incoming-folder critical region,
// which the call may enter again. The store calls it with create false once the alias is
// loaded, so that a moved folder's alias is brought up to date early.
//
// The sharing code registers its implementation at start-up with
// ReceivedFilesServiceSlot::Set. The default knows no folder and leaves the alias as loaded.

#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace sharing {

class ReceivedFilesService {
 public:
  virtual ~ReceivedFilesService() = default;
  // The folder, or nothing when none is found; with create set a missing folder is made.
  virtual std::optional<std::filesystem::path> GetReceivedFilesFolder(bool create) = 0;
};

class DefaultReceivedFilesService : public ReceivedFilesService {
 public:
  std::optional<std::filesystem::path> GetReceivedFilesFolder(bool) override { return std::nullopt; }
};

using ReceivedFilesServiceSlot = runtime::ServiceSlot<ReceivedFilesService, DefaultReceivedFilesService>;

}  // namespace sharing
