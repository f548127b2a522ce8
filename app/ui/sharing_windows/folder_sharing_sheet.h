#pragma once
// The sheet that decides which sharing users see one folder and may download from it: a
// row per user with two check boxes (view, download). OK writes the users' lists (kept
// ascending) into the sharing users, stores "Users" and marks the folder shared, or not
// when no user lists it any more.
//
// Main thread only.

#include <cstdint>
#include <string>

#include "platform/toolbox/lists/list_view.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr std::int32_t kFolderSharingListID = 1;
inline constexpr std::int32_t kFolderSharingTitleID = 2;
inline constexpr values::FourCharCode kFolderSharingUIDProperty = values::FourCC("uid ");
inline constexpr values::FourCharCode kFolderSharingSelectAll = values::FourCC("sall");
inline constexpr values::FourCharCode kFolderSharingSelectNone = values::FourCC("sNon");
inline constexpr values::FourCharCode kFolderSharingViewColumn = values::FourCC("Chck");
inline constexpr values::FourCharCode kFolderSharingDownloadColumn = values::FourCC("Chc2");

// On the main window when there is one, else a window of its own.
toolbox::Window* OpenSharingUserItemsSheet(std::uint32_t folderUID, const std::string& folderName);
// The sheet's list, for clicks (null when `sheet` is not one).
toolbox::ListView* FolderSharingList(toolbox::Window* sheet);

}  // namespace ui
