#pragma once
// The global log window: one read-only text view that shows this run's global log
// (engine/log/transfer_log.h) as it grows. It is made hidden at start-up, before the
// first entry, and shown by the application's "View" command; its close box only hides
// it, so that the text it holds is kept for the next showing. Its frame is saved under
// "lframe".
//
// The log's lines end in "\r"; the view shows them as Linux lines. The view keeps what
// the log keeps in memory: when the text shown grows past twice that, it is cut back to
// the log's own tail, so a program that runs for weeks does not grow with its window.
//
// Main thread only.

#include <string>

#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr char kGlobalLogFrameKey[] = "lframe";
inline constexpr char kGlobalLogWindowTitle[] = "Log";
inline constexpr std::int32_t kGlobalLogTextID = 1;  // the text view, {'Truv', 1}

// Makes the hidden window (centred when no frame was saved), filled with what the log
// holds already. Nothing when it exists.
void CreateGlobalLogWindowView();
void DisposeGlobalLogWindow();
toolbox::Window* GetGlobalLogWindow();

// The window's side of the log: an entry added, the file written, the "View" command.
void AppendToGlobalLogWindow(const std::string& entry);
void ScrollGlobalLogWindowToEnd();
void BringGlobalLogWindowToFront();

}  // namespace ui
