#pragma once
// The "add files from URL" window and its scan controller.
//
// A person gives a web page or FTP folder and the rules of a scan (extensions, images,
// other hosts, levels, connections, credentials, a name expression kept or negated, a
// minimum size, a destination folder, whether to keep the folder structure), starts it
// and watches the status log; Stop aborts a running scan, and closes the window when none
// runs. Each call opens another window; one window runs one scan at a time, and may start
// again when it ended.
//
// The controller outlives its window while a scan runs: the scan's events carry it
// ('WIND'), and the application's handler appends to its status log, shows its alerts
// and cleans it up at the end (below), whether or not the window is still open.
//
// Main thread only.

#include <memory>
#include <string>

#include "app/engine/crawl/crawl_request.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

// Controls of the window (signature 'Truv').
enum AddFilesControl : std::int32_t {
  kAddFilesURLField = 1,
  kAddFilesRefererField = 2,
  kAddFilesUseExtensionsBox = 3,
  kAddFilesExtensionsField = 4,
  kAddFilesImagesBox = 5,
  kAddFilesFollowLinksBox = 6,
  kAddFilesDisclosure = 7,
  kAddFilesConnectionsField = 8,
  kAddFilesUseLevelsBox = 9,
  kAddFilesLevelsField = 10,
  kAddFilesUserField = 11,
  kAddFilesPasswordField = 12,
  kAddFilesSizeField = 13,
  kAddFilesUnitPopUp = 14,
  kAddFilesRegexBehaviourPopUp = 15,
  kAddFilesRegexField = 16,
  kAddFilesPreserveBox = 17,
  kAddFilesFolderPopUp = 18,
  kAddFilesStatusView = 19,
  kAddFilesStopButton = 20,
  kAddFilesRecentURLsPopUp = 21,
  kAddFilesRecentExtensionsPopUp = 22,
  kAddFilesRecentRegexesPopUp = 23,
  kAddFilesStartButton = 24,
};

inline constexpr values::FourCharCode kAddFilesStartCommand = values::FourCC("AFgo");
inline constexpr values::FourCharCode kAddFilesStopCommand = values::FourCC("AFst");

class AddFilesController : public std::enable_shared_from_this<AddFilesController> {
 public:
  bool working() const { return working_; }
  const std::string& statusLog() const { return statusLog_; }
  toolbox::Window* window() const { return window_; }

  // Starts the scan of the request (the window's controller fills in window and target).
  bool StartScan(engine::CrawlRequestRef request);
  void Abort();
  // The scan `crawlID` ended: idle again, the request let go. The end of a scan aborted
  // before the one now running changes nothing.
  void Cleanup(const std::string& crawlID);
  void SetStatusLog(std::string text);
  void AppendStatus(const std::string& text);
  // An informational alert on the window (nothing when the window is gone).
  void ShowAlert(const std::string& message);

  // Internal: the window's side.
  void AttachWindow(toolbox::Window* window) { window_ = window; }
  void UpdateButtons();

 private:
  bool working_ = false;
  engine::CrawlRequestRef request_;
  std::string statusLog_;
  toolbox::Window* window_ = nullptr;
};

// Opens a new window, centred unless a frame was saved, in front.
toolbox::Window* OpenAddFilesFromURLWindow();

// The controller of a window opened here; nullptr for any other window.
std::shared_ptr<AddFilesController> AddFilesControllerOfWindow(const toolbox::Window& window);

// For the application's handler of the scan events.
void AddFilesWindowShowAlert(AddFilesController& controller, const std::string& message);
void AddFilesWindowAppendStatus(AddFilesController& controller, const std::string& text);
void AddFilesWindowCleanUp(AddFilesController& controller, const std::string& crawlID);

}  // namespace ui
