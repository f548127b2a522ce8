#pragma once
// Calls the uploads make into higher layers and into neighbours they may not include:
// the shell's message window and notices, the download queue's when-done check, undo
// and queue switch, the main list's rows, and the windows other work builds later (the
// file-exists sheet, the authentication-failure window, the
// upload editor, the log window, the remote browser's refresh). Each hook does nothing
// (or answers "none") until start-up installs it, so the uploads run - and are tested -
// headless; tests install recording ones.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/hook_slot.h"
#include "platform/values/value.h"

namespace upload {

class UploadItem;

// One file-exists question as the sheet shows it.
struct UploadConflictQuestion {
  std::string uid;
  std::optional<std::string> fileName;
  bool uploadIsFolder = false;
  std::optional<std::string> localPath;
  std::int64_t localSize = -1;
  std::optional<values::Date> localMod;
  std::optional<std::string> remotePath;
  std::int64_t remoteSize = -1;
  std::optional<values::Date> remoteMod;
};

struct UploadHooks {
  // The message window (a failure that needs no answer).
  std::function<void(const std::string& text)> showMessage;
  // A notice dictionary ("ApplicationName", "NotificationName", ...).
  std::function<void(const values::Dictionary& notice)> postNotice;
  std::function<void()> notifyAllUploadsComplete;
  // A finished upload re-arms the download queue's when-done check.
  std::function<void()> armWhenDoneCheck;
  std::function<bool()> uploadQueueRunning;
  // "active uploads change" (the My Uploads badge).
  std::function<void()> postActiveUploadsChange;
  // The uploads list: rows added, removed or changed (refreshed when My Uploads shows).
  std::function<void()> uploadListChanged;
  std::function<void(const std::shared_ptr<UploadItem>& item)> uploadRowChanged;
  // Undo of a removed upload; the name of the next undo step.
  std::function<void(const std::shared_ptr<void>& item, std::uint32_t oldIndex, bool trashed)>
      registerUndoUploadRemoved;
  std::function<void(const std::string& name)> setUndoActionName;
  // The confirmation alert of a clearing (kind 10 finished, 11 inactive): 1 move the files
  // to the Trash, 2 keep them, anything else cancels.
  std::function<int(int kind)> runClearConfirmation;
  // The file-exists sheet: queues the question; the answer comes back through
  // PostUploadConflictAnswer.
  std::function<void(const UploadConflictQuestion& question)> queueConflictSheet;
  // The authentication-failure window.
  std::function<void(const std::shared_ptr<UploadItem>& item, bool userWasValid)> showAuthFailure;
  std::function<void(const std::shared_ptr<UploadItem>& item)> showEditUpload;
  std::function<void(const std::shared_ptr<UploadItem>& item)> showLogWindow;
  // The remote browser's folders that show the upload's destination.
  std::function<void(const std::shared_ptr<UploadItem>& item)> refreshBrowsersAfterUpload;
  // "Other..." of the send-to menu: the send-files window with these items' paths.
  std::function<void(const std::vector<std::string>& paths)> openSendFilesWindow;
};
using UploadHooksSlot = runtime::HookSlot<UploadHooks>;

using runtime::AskHook;
using runtime::CallHook;

}  // namespace upload
