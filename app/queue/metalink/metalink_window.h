#pragma once
// The metalink selection window: the metalink's description, one check box per file
// (its name, size, platform, language and version) and OK / Cancel. OK adds the checked
// files; Cancel adds nothing. The controller owns the metalink and the window and lets
// both go when the window closes.
//
// Without a display the program cannot ask, so every file is chosen and added.
//
// Main thread only.

#include <memory>
#include <string>

#include "app/queue/metalink/metalink.h"
#include "platform/toolbox/windows/window.h"

namespace queue {

class TRMetalinkController : public std::enable_shared_from_this<TRMetalinkController> {
 public:
  explicit TRMetalinkController(std::unique_ptr<TRMetalink> metalink);
  ~TRMetalinkController();

  // Builds and shows the window; the controller keeps itself alive until it closes.
  void Show();
  void ok();
  void cancel();
  void close();

  TRMetalink& metalink() { return *metalink_; }
  const std::shared_ptr<toolbox::Window>& window() const { return window_; }
  // The check box of file `index` (0-based).
  toolbox::Control* FileCheckBox(std::size_t index) const;

 private:
  std::unique_ptr<TRMetalink> metalink_;
  std::shared_ptr<toolbox::Window> window_;
  std::shared_ptr<TRMetalinkController> self_;
  bool first_ = true;
};

// The label of a file's row.
std::string MetalinkFileLabel(const TRMetalinkFile& file);

// Shows the window for `metalink` and returns its controller (nothing headless, where
// every file was added instead).
std::shared_ptr<TRMetalinkController> PresentMetalink(std::unique_ptr<TRMetalink> metalink);
std::shared_ptr<TRMetalinkController> ShowMetalinkWindow(std::unique_ptr<TRMetalink> metalink);

}  // namespace queue
