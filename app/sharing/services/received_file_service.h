#pragma once
// What the download queue's commands and the undo manager ask of the files received from
// peers: the commands on the received-files list's selection, and the list membership
// that undo takes back. A received file is handed around as an opaque shared handle that
// the sharing code made; the undo manager only keeps it alive and passes it back.
//
// The sharing code registers its implementation at start-up with
// ReceivedFileServiceSlot::Set(). Until then the default knows no received file.
//
// Main thread only.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace sharing {

using ReceivedFileHandle = std::shared_ptr<void>;

class ReceivedFileService {
 public:
  virtual ~ReceivedFileService() = default;
  virtual void StopSelectedReceivedFiles() = 0;
  // Asks its own confirmation, registers the undo of each removed file; how many it removed.
  virtual std::size_t RemoveSelectedReceivedFiles(bool undoable) = 0;

  // Back into the list (addToList) and out of it (removeFromList, which registers the undo
  // of a removed received file).
  virtual void AddToList(const ReceivedFileHandle& file) = 0;
  virtual void RemoveFromList(const ReceivedFileHandle& file) = 0;
  // The file's current path, found again; nothing when it is gone.
  virtual std::optional<std::string> UpdatePath(const ReceivedFileHandle& file) = 0;
  virtual void SelectReceivedFileRow(const ReceivedFileHandle& file) = 0;
};

class NoReceivedFileService : public ReceivedFileService {
 public:
  void StopSelectedReceivedFiles() override {}
  std::size_t RemoveSelectedReceivedFiles(bool) override { return 0; }
  void AddToList(const ReceivedFileHandle&) override {}
  void RemoveFromList(const ReceivedFileHandle&) override {}
  std::optional<std::string> UpdatePath(const ReceivedFileHandle&) override { return std::nullopt; }
  void SelectReceivedFileRow(const ReceivedFileHandle&) override {}
};

using ReceivedFileServiceSlot = runtime::ServiceSlot<ReceivedFileService, NoReceivedFileService>;

}  // namespace sharing
