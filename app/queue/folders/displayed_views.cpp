#include "app/queue/folders/displayed_views.h"

namespace queue {
namespace {

std::set<ViewID>& Views() {
  static std::set<ViewID> views;
  return views;
}

}  // namespace

const std::set<ViewID>& GetDisplayedViewSet() {
  return Views();
}

bool IsViewDisplayed(ViewID id) {
  return Views().count(id) != 0;
}

void DisplayViews(std::set<ViewID> views) {
  Views() = std::move(views);
}

void RemoveDisplayedView(ViewID id) {
  Views().erase(id);
}

void ClearDisplayedViews() {
  Views().clear();
}

bool IsDisplayingUploads() {
  return IsViewDisplayed(kMyUploadsViewID);
}

bool IsDisplayingReceivedFiles() {
  return IsViewDisplayed(kReceivedFilesViewID);
}

bool IsDisplayingDownloads() {
  for (ViewID id : Views()) {
    if (id == kMyDownloadsViewID || id == kHistoryViewID || IsUserFolderID(id) || IsSmartFolderID(id) ||
        IsDateFolderID(id))
      return true;
  }
  return false;
}

}  // namespace queue
