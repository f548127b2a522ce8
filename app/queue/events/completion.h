#pragma once
// Completing a download: what happens between the task's "done" and the download sitting
// finished in the library.
//
// `CompleteDownload` files the data file into its destination (the download's own folder,
// else the folder of the download filter that matches its name, else the default
// download folder; below that its relative location), under a free name; stamps it with
// the server's date, a comment (the URLs it came from) and the source URL as extended
// attributes; counts it in the transfer statistics; logs it; runs the download's own
// completion action; deletes the emptied partial package; plays the finish sounds; and
// applies the "remove when" policy. Each step that fails is skipped and the next one
// runs; only a data file that cannot be found stops it at the start.
//
// The when-done check: each finished download (and upload) arms one one-shot timer on
// the main run loop, or moves it later when it is already pending; when it fires with
// nothing left to transfer, the system-wide action of "post download action" runs
// (post_download_actions.h). A check that finds work left does nothing and is not
// re-armed: the next finished transfer arms it again.
//
// The filters, the history, the metalink window and the search metadata are later pieces
// of the queue; they are reached through CompletionHooks, which do nothing until their
// owners install them.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/files/file_ref.h"
#include "platform/runtime/hook_slot.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/value.h"

namespace queue {

struct CompletionHooks {
  // The destination folder of the download filter for this file name (made when missing);
  // nothing when no filter takes the name.
  std::function<std::optional<files::FileRef>(const std::string& fileName)> filterDestination;
  // Opens the metalink selection window for a downloaded ".metalink" file.
  std::function<void(const files::FileRef& file)> openMetalinkFile;
  // Puts the download into today's history.
  std::function<void(const WrapperRef&)> addToHistory;
  // Writes the download's search metadata onto its finished file.
  std::function<void(const WrapperRef&, const files::FileRef& file)> writeElementMetadata;
};

using CompletionHooksSlot = runtime::HookSlot<CompletionHooks>;

// The transfer statistics in the preferences.
inline constexpr const char kFilesTransferredKey[] = "Files transfered";
inline constexpr const char kBytesTransferredKey[] = "Bytes transfered";

// Completes the download of `wrapper` whose data file is `file`; on return `file` names
// the file at its new place (unchanged when it could not be moved).
void CompleteDownload(const WrapperRef& wrapper, files::FileRef& file);

// Sets the file's comment (the URL texts) and source URL as extended attributes. User
// information (a user name and password in a URL) is left out of both: attributes are
// readable by any program of the user and travel with copies of the file.
void SetFinderComment(const files::FileRef& file, const std::string& urlList);
void SetOriginURL(const files::FileRef& file, const std::string& url);

// Posts a notice dictionary ("ApplicationName", "NotificationName", "NotificationTitle",
// "NotificationDescription", "NotificationClickContext", "GrowlNotificationIdentifier"):
// through the queue hooks' postNotice when installed, else straight to the desktop.
void PostQueueNotice(const values::Dictionary& notice);
// "All Downloads Finished".
void NotifyAllDownloadsComplete();

// ---- The when-done check ----

// "inactivity timer duration" in seconds, at least 4.
std::int64_t WhenDoneDelaySeconds();
// A finished download or upload: moves the pending check to now plus the delay, or, when
// none is pending and the transfer was not stopped, arms one on `loop` (the main loop
// when null).
void ArmWhenDoneCheck(bool stopped, runtime::RunLoop* loop = nullptr);
// The pending check's timer, or null.
std::shared_ptr<runtime::Timer> PendingWhenDoneTimer();
// The timer's work: forgets the timer, then runs "post download action" when nothing is
// left to transfer and "take action when done" is on.
void CheckPostDownloadAction();
// Forgets a pending check without running it (shut-down; tests).
void CancelWhenDoneCheck();

}  // namespace queue
