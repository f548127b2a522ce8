#pragma once
// What the scripting suite asks of the application's windows: reopening (the desktop's
// "show the application again"), coming to the front, the modifier that diverts URLs to
// the add-URL window, that window itself, the save dialog of the "ask where to save"
// mode, the download-rate history, and the row of a favourite in My Servers.
//
// The windows register their implementation at start-up with
// ApplicationWindowsServiceSlot::Set(). Until then (headless runs) there is no window: nothing
// is shown or raised, no modifier is held, the save dialog cannot run (as a failed
// dialog: the item is skipped), and there is no rate history.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"
#include "platform/values/value.h"

namespace ui {

struct SaveDialogAnswer {
  enum class Kind : std::uint8_t {
    kNotShown,   // no window can run the dialog
    kCancelled,  // the user dismissed it, or it failed
    kChosen,     // `folder` and `name` hold the choice
  };
  Kind kind = Kind::kNotShown;
  std::string folder;  // the chosen folder
  std::string name;    // the chosen file name
};

struct RateHistoryFigures {
  float oneSecond = 0;  // bytes per second
  double fiveMinutes = 0;
  double fifteenMinutes = 0;
};

class ApplicationWindowsService {
 public:
  virtual ~ApplicationWindowsService() = default;
  // Unless a window other than a floating one is in front: shows the mini window when it
  // is open, else the main window when it is hidden, and gives it the focus.
  virtual void ReopenApplication() = 0;
  virtual void BringApplicationToFront() = 0;
  // The modifier ("option") that sends handed-in URLs to the add-URL window.
  virtual bool IsOptionKeyDown() = 0;
  virtual void ShowAddURLWindow(const values::Array& urlEntries) = 0;
  // The put-file dialog suggesting `suggestedName`.
  virtual SaveDialogAnswer RunSaveDialog(const std::string& suggestedName) = 0;
  virtual std::optional<RateHistoryFigures> CopyRateHistory() = 0;
  // My Servers loses the favourite's row.
  virtual void RemoveFavouriteRow(const std::string& name) = 0;
};

class HeadlessApplicationWindows : public ApplicationWindowsService {
 public:
  void ReopenApplication() override {}
  void BringApplicationToFront() override {}
  bool IsOptionKeyDown() override { return false; }
  void ShowAddURLWindow(const values::Array&) override {}
  SaveDialogAnswer RunSaveDialog(const std::string&) override { return {}; }
  std::optional<RateHistoryFigures> CopyRateHistory() override { return std::nullopt; }
  void RemoveFavouriteRow(const std::string&) override {}
};

using ApplicationWindowsServiceSlot =
    runtime::ServiceSlot<ApplicationWindowsService, HeadlessApplicationWindows>;

}  // namespace ui
