#include "app/queue/operations/queue_queries.h"

#include "app/queue/adding/start_download.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/services/main_list_services.h"
#include "app/upload/services/upload_queue_service.h"
#include "app/util/text/url_utilities.h"
#include "platform/values/string_compare.h"

namespace queue {
namespace {

std::string JoinURLs(const DownloadQueueElement& e, bool withoutUserInfo) {
  std::string text;
  bool first = true;
  for (const values::Value& entry : e.urlData) {
    const values::Value* url = entry.Find("url");
    if (url == nullptr || !url->IsString()) continue;
    std::string one = *url->AsString();
    if (withoutUserInfo) {
      if (auto parsed = values::Url::Create(one))
        one = util::CopyURLStringWithoutUserInfo(*parsed).value_or(one);
    }
    if (!first) text += "\r";
    text += one;
    first = false;
  }
  return text;
}

}  // namespace

std::vector<WrapperRef> CopyElementsWithStatus(DownloadStatus mask, ViewID folderID) {
  std::vector<WrapperRef> out;
  FolderRef folder = folderID != 0 ? LookUpFolder(folderID) : nullptr;
  if (folder && folder->HasItems()) {
    for (const auto& [uid, w] : folder->Items()) {
      if (w->status() & mask) out.push_back(w);
    }
    return out;
  }
  runtime::RegionGuard lock(gQueueItemsLock);
  for (const auto& [uid, w] : gQueueItems) {
    if (w->status() & mask) out.push_back(w);
  }
  return out;
}

bool ElementMatchesViewFilter(const DownloadQueueElement& e, int scope) {
  const bool completed = e.status == kStatusCompleted;
  switch (scope) {
    case kScopeInProgress:
      return e.status == kStatusDownloading;
    case kScopePaused:
      return e.status != kStatusDownloading && !completed && e.progress > 0;
    case kScopeCompleted:
      return completed;
    case kScopeQueued:
      return (e.status & (kStatusQueued | kStatusScheduled)) != 0;
    case kScopeIncomplete:
      return (e.status & (kStatusQueued | kStatusScheduled | kStatusDownloading)) != 0 ||
             (!completed && e.progress > 0);
    default:
      return true;
  }
}

bool ElementMatchesFilterAndSearch(const DownloadQueueElement& e, const std::string& search) {
  const int scope = ui::MainListServicesSlot::Get().CurrentFilterScope();
  if (scope != kScopeAll && !ElementMatchesViewFilter(e, scope)) return false;
  if (search.empty()) return true;
  if (values::FindString(e.filename, search, values::kCaseInsensitive)) return true;
  for (const values::Value& entry : e.urlData) {
    const values::Value* url = entry.Find("url");
    if (url != nullptr && url->IsString() &&
        values::FindString(*url->AsString(), search, values::kCaseInsensitive))
      return true;
  }
  return false;
}

std::string CopyElementURLList(const DownloadQueueElement& e) {
  return JoinURLs(e, false);
}

std::string CopyElementURLDisplayList(const DownloadQueueElement& e) {
  return JoinURLs(e, true);
}

std::pair<float, float> SumTransferRates() {
  float downloads = 0;
  {
    runtime::RegionGuard lock(gQueueItemsLock);
    for (DownloadUID uid : gActiveDownloads) {
      auto it = gQueueItems.find(uid);
      if (it != gQueueItems.end()) downloads += it->second->element().rate;
    }
  }
  return {downloads, upload::UploadQueueServiceSlot::Get().SumActiveUploadRates()};
}

}  // namespace queue
