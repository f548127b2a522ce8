#pragma once
// The add-download window: one or more URLs typed or pasted (one per line, with batch
// patterns), and what the new downloads get: connections, credentials, destination
// folder and name, a schedule, a place in the queue and the action when done. OK adds
// them (download_form_rules.h) and closes the window; a form the rules refuse leaves it
// open with an alert. Each call opens a window of its own.
//
// Main thread only.

#include <optional>
#include <string>

#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr const char kAddDownloadWindowTitle[] = "Add Download";
inline constexpr const char kAddDownloadFrameKey[] = "Add DL WindowFrame";

// Opens a new window, the URL field holding `initialText` when given.
toolbox::Window* ShowAddDownloadWindow(const std::optional<std::string>& initialText = std::nullopt);

// The folder dialog of an add or edit window, run after the command that asked for it
// has returned: a save dialog naming the file where one file is meant, else a folder
// dialog. The window takes the folder (and name) chosen.
void ChooseDownloadFolder(toolbox::Window& window);

// A dropped item chooses the folder (an item that is not a folder: the folder holding it).
void DropFolderOnDownloadWindow(toolbox::Window& window, const std::string& path);

}  // namespace ui
