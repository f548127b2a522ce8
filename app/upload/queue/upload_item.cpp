#include "app/upload/queue/upload_item.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "app/ui/services/main_list_services.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/upload_hooks.h"
#include "app/util/desktop/ui_helpers.h"
#include "app/util/helpers/session_helpers.h"
#include "platform/files/catalog_info.h"
#include "platform/values/clock.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace upload {

namespace {

std::string NameOf(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const auto slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool ContainsNoCase(const std::string& haystack, const std::string& needle) {
  auto lower = [](std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
  };
  return lower(haystack).find(lower(needle)) != std::string::npos;
}

}  // namespace

std::string LogPlainText(const UploadLog& log) {
  std::string text;
  for (const auto& run : log) text += run.text;
  return text;
}

std::string UploadSizeText(std::int64_t bytes) {
  const auto size = static_cast<std::uint64_t>(bytes < 0 ? 0 : bytes);
  if (size < 1024) return std::to_string(size) + " B";
  if (size < (1u << 20)) return std::to_string(size >> 10) + " KB";
  if (size < (1u << 30)) return std::to_string(size >> 20) + " MB";
  return std::to_string(size >> 30) + " GB";
}

std::shared_ptr<UploadItem> UploadItem::Create(const files::AliasRecord& alias, const std::string& host,
                                               const std::optional<std::string>& domain,
                                               const std::string& user, const std::string& password,
                                               std::int32_t hostType) {
  auto item = std::make_shared<UploadItem>();
  item->type = hostType;
  files::AliasRecord copy = alias;
  auto resolved = files::ResolveAlias(copy);
  if (!resolved.ok()) {
    CallHook(
        UploadHooksSlot::Get().showMessage,
        values::Format(values::Localized("The file %@ could not be uploaded because it could not be found"),
                       {NameOf(alias.path)}));
    return nullptr;
  }
  auto info = files::GetCatalogInfo(resolved->ref, files::LinkMode::kFollow);
  if (!info.ok()) return nullptr;
  if (info->IsFolder() && (hostType == kHostTypeBonjourPeer || hostType == kHostTypePeerAddress ||
                           hostType == kHostTypeFileHosting)) {
    util::RunStandardAlertText(
        ui::AlertType::kStop,
        values::Localized("Only files may be uploaded to other copies of Truvane. If you wish "
                          "to send a folder or package you must compress it first."),
        std::nullopt);
    return nullptr;
  }
  item->isFolder = info->IsFolder();
  item->size = info->IsFolder() ? 0 : static_cast<std::int64_t>(info->size);
  item->name = NameOf(resolved->ref.Path());
  item->path = resolved->ref.Path();
  item->stateValue = kUploadWaiting;
  item->uid = values::Uuid::Generate();
  item->fileAlias = copy;
  item->hostName = host;
  item->domain = domain;
  item->userName = user;
  item->pass = password;
  item->bytes = 0;
  item->startDate = values::Date{values::Now()};
  item->batchID = util::GetSessionUUIDString();
  return item;
}

double UploadItem::timeElapsedThisTask() const {
  return useTaskTime ? values::Now() - timeTaskStarted : 0;
}

double UploadItem::totalTimeElapsed() const {
  return timeElapsedBeforeTask + timeElapsedThisTask();
}

std::uint32_t UploadItem::waitingIndex() const {
  return WaitingIndex(*this);
}

double UploadItem::startTime() const {
  return startDate ? startDate->seconds : std::numeric_limits<double>::quiet_NaN();
}

double UploadItem::endTime() const {
  return endDate ? endDate->seconds : std::numeric_limits<double>::quiet_NaN();
}

bool UploadItem::MatchesListFilter(const std::string& text) const {
  bool passes = true;
  switch (ui::MainListServicesSlot::Get().CurrentFilterScope()) {
    case 2:
      passes = stateValue == kUploadUploading;
      break;
    case 3:
      passes = stateValue != kUploadUploading && stateValue != kUploadFinished && bytes > 0;
      break;
    case 4:
      passes = stateValue == kUploadFinished;
      break;
    case 5:
      passes = stateValue == kUploadWaiting && waitingIndex() != kNotWaiting;
      break;
    case 6:
      passes = stateValue == kUploadWaiting || stateValue == kUploadUploading;
      break;
    default:
      break;
  }
  if (!passes) return false;
  return text.empty() || ContainsNoCase(name, text);
}

void UploadItem::SetState(std::int32_t newState) {
  const std::int32_t old = stateValue;
  stateValue = newState;
  if (old == kUploadFinished && newState != kUploadFinished && type == kHostTypeFileHosting) {
    for (const char* key : {"fileid", "killcode", "ulServer"}) customAttributes.erase(key);
  }
  if (newState == kUploadCancelled && requeueAfterCancellation) {
    auto& order = Uploads().queueOrder;
    order.insert(order.begin(), shared_from_this());
    requeueAfterCancellation = false;
    SetState(kUploadWaiting);
  }
  if (old == kUploadUploading && newState != kUploadUploading) {
    std::erase(Uploads().activeUploads, shared_from_this());
    CallHook(UploadHooksSlot::Get().postActiveUploadsChange);
  }
  gUploadQueueDirty = true;
  CallHook(UploadHooksSlot::Get().uploadRowChanged, shared_from_this());
}

void UploadItem::UpdateLocation() {
  if (!fileAlias) {
    path.reset();
    return;
  }
  auto resolved = files::ResolveAlias(*fileAlias);
  if (!resolved.ok()) {
    path.reset();
    fileAlias.reset();
    return;
  }
  path = resolved->ref.Path();
  if (resolved->updated) gUploadQueueDirty = true;
}

}  // namespace upload
