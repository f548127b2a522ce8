#pragma once
// The views the main list shows now (one or several source-list rows selected): every
// subsystem asks IsViewDisplayed before it redraws or refills rows of a view.
//
// The set alone for now; choosing and filling views comes with the main-list filling.
// Main thread only.

#include <set>

#include "app/queue/folders/view_ids.h"

namespace queue {

const std::set<ViewID>& GetDisplayedViewSet();
bool IsViewDisplayed(ViewID id);
// The main list shows these views now.
void DisplayViews(std::set<ViewID> views);
void RemoveDisplayedView(ViewID id);
void ClearDisplayedViews();

// Whether the displayed views list downloads (not uploads, received files, filters,
// servers or a remote host), and the kinds the commands on the selection tell apart.
bool IsDisplayingDownloads();
bool IsDisplayingUploads();
bool IsDisplayingReceivedFiles();

}  // namespace queue
