#pragma once
// Calls the shell's start-up, timers and shut-down make into pieces of other subsystems
// that install themselves at start-up: windows, uploads, sharing, undo, the Dock tile. Each hook does nothing
// (or answers "none") until its owner sets it, so the shell runs headless - and is tested - without them;
// tests set recording ones.
//
// Main thread only, except the two counters, which the shut-down wait reads while the
// transfer tasks change them.

#include <cstdint>
#include <functional>
#include <utility>

#include "platform/runtime/hook_slot.h"

namespace shell {

struct ShellHooks {
  // Undo registration off while the data is loaded and while the scheduler starts a download.
  std::function<void(bool enabled)> setUndoRegistrationEnabled;
  // Data sets other than the settings and the queue.
  std::function<void()> loadUploadQueue;
  // Windows: the main window and the mini window (when neither is hidden by the settings).
  std::function<void()> createMainWindow;
  std::function<void()> showMiniWindowIfNeeded;
  // The plug-in set-up sheet or update sheet, by "setup type".
  std::function<void(std::int64_t setupType)> runPluginSetup;
  // Sharing: start the servers the settings ask for; browse for peers.
  std::function<void()> startSharingServers;
  std::function<void()> startBrowsingSharingServices;
  std::function<void()> connectAutoconnectFavourites;

  // Timers.
  std::function<void()> miniWindowUpdateLabels;
  // The list refresh: redraws the changed rows when the list shows something that moves.
  std::function<void()> refreshChangedRows;
  std::function<void()> updateDockTile;
  // Uploads: the upload scheduler's one start per tick.
  std::function<std::int32_t()> activeUploadCount;
  std::function<std::int32_t()> waitingUploadCount;
  std::function<void()> startNextUpload;
  std::function<bool()> uploadsChanged;
  std::function<void()> saveUploadQueue;

  // Shut-down.
  // Window and list state into the preferences (panes, bounds, columns, source-list rows).
  std::function<void()> saveWindowState;
  // Signals the stop of every running upload; the quit waits for their workers.
  std::function<void()> cancelActiveUploads;
  std::function<std::int32_t()> runningUploads;
  // Download streams still running: the quit waits for them to reach 0. Any thread.
  std::function<std::int32_t()> runningDownloadStreams;
  std::function<void()> saveFavouritesIfChanged;
  std::function<void()> stopSharingServices;
  std::function<void()> restoreDockTile;

  // The undo switch is the queue's own from the start.
  static ShellHooks Defaults();
};
using ShellHooksSlot = runtime::HookSlot<ShellHooks>;

using runtime::AskHook;
using runtime::CallHook;

}  // namespace shell
