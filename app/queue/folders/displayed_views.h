#pragma once
// The views the main list shows now - one or several source-list rows selected, their
// items shown together, each once - and the filling of the list from them.
//
// The first view added to an empty set is the current view: its layout folder gives the
// list its columns, widths and sort, and the list is written back into that folder when
// the set is emptied. A remote host's layout is its host type's shared folder (23 FTP, 24
// iDisk, 25 WebDAV, 21 the others). Every subsystem asks IsViewDisplayed before it
// redraws or refills rows of a view.
//
// The list is reached through ui::MainListBrowserSlot; without a main list the set is kept
// all the same and filling costs nothing. Main thread only.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/browser/services/remote_rows.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/ui/services/main_list_browser.h"

namespace queue {

const std::set<ViewID>& GetDisplayedViewSet();
bool IsViewDisplayed(ViewID id);
// The view whose layout the list has; 0 when nothing is displayed.
ViewID GetCurrentViewID();
// Shows exactly these views: the set emptied (its layout saved), each view added, the
// list refilled. The smallest id becomes the current view.
void DisplayViews(std::set<ViewID> views);
// Adds one view to the list (the current view when the set was empty).
void DisplayView(ViewID id);
// Takes the view out of the set; its rows stay until the next refill.
void RemoveDisplayedView(ViewID id);
// Saves the current view's layout into its layout folder, removes every row, empties the set.
void ClearDisplayedViews();
// Rebuilds every row from the displayed views, keeping the selection.
void RefillMainList();

// The items of one view, and the union of the displayed views' items (each once).
std::vector<ui::MainListItem> CopyViewItems(ViewID id);
std::vector<ui::MainListItem> CopyDisplayedViewItems();
// The download joins every displayed folder that takes downloads (My Downloads, user folders).
void AddElementToDisplayedFolders(const WrapperRef& wrapper);
// Removes the top-level rows that fail the search text (and the filter bar for downloads).
void RemoveRowsNotMatchingSearch(const std::string& text);

// Looks again for the finished files of the view's downloads (or, for My Uploads, the
// uploads' files); the file column of a displayed view is drawn again.
void RecheckViewItemFiles(ViewID id);

// The layout folder's id of a view.
ViewID LayoutFolderID(ViewID id);
std::optional<browser::RemoteHost> GetHostForViewID(ViewID id);
bool IsCurrentViewFTPHost();
bool IsCurrentViewWebDAVHost();
bool IsDisplayingRemoteHost();
bool IsDisplayingUserFolder();
bool IsDisplayingSmartFolder();
bool DisplayedFoldersContainFiles();

// Whether the displayed views list downloads (not uploads, received files, filters,
// servers or a remote host), and the kinds the commands on the selection tell apart.
bool IsDisplayingDownloads();
bool IsDisplayingUploads();
bool IsDisplayingReceivedFiles();

}  // namespace queue
