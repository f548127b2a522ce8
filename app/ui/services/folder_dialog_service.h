#pragma once
// What the download-folder code asks of the user interface: let the user choose a folder,
// opening at a given one.
//
// The views register their implementation at start-up with FolderDialogServiceSlot::Set. The
// default cannot show a dialog (there is no window system yet), so the caller goes on with
// the folder it had.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"
#include "platform/values/fourcc.h"

namespace ui {

struct ChooseFolderAnswer {
  enum class Kind : std::uint8_t {
    kNotShown,   // the dialog could not be run
    kCancelled,  // the user dismissed it
    kChosen,     // `folder` holds the chosen folder's path
  };
  Kind kind = Kind::kNotShown;
  std::string folder;
};

class FolderDialogService {
 public:
  virtual ~FolderDialogService() = default;
  // A choose-folder dialog opening at `startFolder`; `stateKey` names where the dialog
  // remembers its own state (size, last place) between uses.
  virtual ChooseFolderAnswer ChooseFolder(const std::string& startFolder, values::FourCharCode stateKey) = 0;
};

class DefaultFolderDialogService : public FolderDialogService {
 public:
  ChooseFolderAnswer ChooseFolder(const std::string&, values::FourCharCode) override { return {}; }
};

using FolderDialogServiceSlot = runtime::ServiceSlot<FolderDialogService, DefaultFolderDialogService>;

}  // namespace ui
